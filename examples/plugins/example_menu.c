/* A menu plug-in: one command under "编辑" that says hello on the program's error output. */
#include <stdio.h>
#include <time.h>

#include <zorled/zorled_plugin.h>

/* "示例插件" in GBK, the program's code page. */
static const char kCaption[] = "\xCA\xBE\xC0\xFD\xB2\xE5\xBC\xFE";

ZORLED_EXPORT void DescribePlugin(char** slot) { zorled_return_text(slot, kCaption); }

ZORLED_EXPORT void PluginExec(void) {
    time_t now = time(NULL);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", localtime(&now));
    fprintf(stderr, "zorled_example_menu: run at %s\n", stamp);
}
