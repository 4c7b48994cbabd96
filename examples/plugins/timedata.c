/* A data module: each Plugingetdata writes the current local time ("2024-03-01 08:00:05") as
   one line into its text file. Point a marquee's or board's TextFileName at the same file.

   The text file's path comes from the environment variable ZORLED_TIMEDATA_FILE or, when that
   is not set, from the first line of a file named like this module with ".conf" appended
   (zorled_timedata.so.conf beside it). Without either the module writes nothing.

   The text goes to a temporary file in the same folder that is then renamed over the old one,
   so a reader never sees half a file. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <zorled/zorled_plugin.h>

static int TargetPath(char* out, size_t size) {
    const char* env = getenv("ZORLED_TIMEDATA_FILE");
    if (env && *env) {
        if (strlen(env) >= size) return 0;
        strcpy(out, env);
        return 1;
    }
    Dl_info info;
    if (!dladdr((void*)&TargetPath, &info) || !info.dli_fname) return 0;
    char conf[PATH_MAX];
    if (snprintf(conf, sizeof conf, "%s.conf", info.dli_fname) >= (int)sizeof conf) return 0;
    FILE* f = fopen(conf, "r");
    if (!f) return 0;
    const int ok = fgets(out, (int)size, f) != NULL;
    fclose(f);
    if (!ok) return 0;
    out[strcspn(out, "\r\n")] = '\0';
    return out[0] != '\0';
}

static void WriteWhole(const char* path, const char* text) {
    char temp[PATH_MAX + 16];
    if (snprintf(temp, sizeof temp, "%s.XXXXXX", path) >= (int)sizeof temp) return;
    const int fd = mkstemp(temp);
    if (fd < 0) return;
    const size_t length = strlen(text);
    const int written = write(fd, text, length) == (ssize_t)length;
    fchmod(fd, 0644);
    if (close(fd) != 0 || !written || rename(temp, path) != 0) unlink(temp);
}

ZORLED_EXPORT void PluginInit(void) {}

ZORLED_EXPORT void Plugingetdata(void) {
    char path[PATH_MAX];
    if (!TargetPath(path, sizeof path)) return;
    const time_t now = time(NULL);
    struct tm local;
    localtime_r(&now, &local);
    char line[64];
    strftime(line, sizeof line, "%Y-%m-%d %H:%M:%S\r\n", &local);
    WriteWhole(path, line);
}

ZORLED_EXPORT void PluginUnInit(void) {}
