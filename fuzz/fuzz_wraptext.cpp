#include <QGuiApplication>
#include <cstdint>
#include <string>

#include "aatext/customtext.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QGuiApplication app(*argc, *argv);
    return 0;
}

// Board text as data files bring it: split into lines, tags replaced by the user labels (a text
// label whose text holds further tags included), then wrapped at a width the first byte picks.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int maxCol = data[0] % 64;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    static zl::TUserLabels* labels = [] {
        auto* l = new zl::TUserLabels;
        l->AddItem("Center", "", zl::lsCenter);
        l->AddItem("Right", "", zl::lsRightJustify);
        l->AddItem("Owner", "", zl::lsRegOwner);
        l->AddItem("Sign", "<Center>ZorLED <Owner>", zl::lsCustom);
        return l;
    }();
    for (std::string line : zl::SplitLines(text)) {
        int alignment = 0;
        labels->ApplyTo(line, alignment);
        const std::string wrapped = zl::WrapText(line, "\r\n", " -\t", maxCol);
        if (wrapped.size() > line.size() * 3 + 2) __builtin_trap();  // a break per byte at most
        zl::WrapLines(line, maxCol);
    }
    return 0;
}
