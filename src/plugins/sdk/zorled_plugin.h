/* ZorLED plug-in interface.

   A plug-in is a shared library loaded into the program. Two kinds exist:

   - Menu plug-ins: libraries whose names end in ".so" or ".dll" (any case) in the program's
     folder or in the installed plug-in folder (lib/<multiarch>/zorled/plugins). Each one that
     returns a non-empty description from DescribePlugin becomes a command under "编辑";
     choosing it calls PluginExec. The library is loaded only for the duration of each call.
   - Data modules: libraries named by a marquee's or board's ExeFileName. Play start calls
     PluginInit once per mention in the played pages, every refresh pass calls Plugingetdata
     just before the widget reads its text file, and play stop calls PluginUnInit. A data module
     stays loaded in its host until play stops. It must know itself which text file to write.

   Menu plug-in calls come on the program's user-interface thread. Each data module runs in a
   host process of its own (zorled-modulehost), so a data module that takes long, crashes or
   leaks never holds or ends the display: a call not returned after 60 s ends its host, and a
   host that ends or grows too large is started again, with PluginInit, at the next pass. Texts handed to the program are in its code page (GBK); the text files that data
   modules write may be UTF-8, UTF-16 with a byte-order mark, or GBK.

   Texts handed to the program use the text-slot layout: a block from the shared allocator
   holding a 32-bit reference count, a 32-bit byte count, the bytes and a zero byte; the slot
   points at the first byte. A reference count of -1 marks a constant that the program copies
   and never frees. Include this header as <zorled/zorled_plugin.h> and link the plug-in with
   -lzorledmm; with the package installed, `pkg-config --cflags --libs zorledmm` gives both and
   `pkg-config --variable=plugindir zorledmm` names the plug-in folder. */
#ifndef ZORLED_PLUGIN_H
#define ZORLED_PLUGIN_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZORLED_EXPORT __attribute__((visibility("default")))

/* The shared allocator (libzorledmm). zorled_mm_free returns 0 on success. */
void* zorled_mm_get(size_t size);
int zorled_mm_free(void* block);
void* zorled_mm_resize(void* block, size_t size);
/* Blocks got and not yet freed, for diagnostics. */
long zorled_mm_live_blocks(void);

/* What precedes the bytes of a text in a slot. */
typedef struct zorled_text_header {
    int32_t refcount;
    int32_t length;
} zorled_text_header;

#define ZORLED_TEXT_CONSTANT (-1)

/* Puts a copy of `text` into the slot for the program to take (reference count 1); the program
   frees it. Leaves the slot empty when the allocator fails. */
static inline void zorled_return_text(char** slot, const char* text) {
    size_t length = text ? strlen(text) : 0;
    zorled_text_header* header;
    if (length == 0 || length > INT32_MAX) {
        *slot = NULL;
        return;
    }
    header = (zorled_text_header*)zorled_mm_get(sizeof(zorled_text_header) + length + 1);
    if (!header) {
        *slot = NULL;
        return;
    }
    header->refcount = 1;
    header->length = (int32_t)length;
    memcpy(header + 1, text, length + 1);
    *slot = (char*)(header + 1);
}

/* The exports the program looks up by these exact names. */
ZORLED_EXPORT void DescribePlugin(char** slot); /* menu plug-in: the command's caption */
ZORLED_EXPORT void PluginExec(void);            /* menu plug-in: the command was chosen */
ZORLED_EXPORT void PluginInit(void);            /* data module: play starts */
ZORLED_EXPORT void Plugingetdata(void);         /* data module: write the widget's text file now */
ZORLED_EXPORT void PluginUnInit(void);          /* data module: play stops */

#ifdef __cplusplus
}
#endif

#endif
