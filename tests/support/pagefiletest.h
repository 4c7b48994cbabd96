#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include "core/atomicfile.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "support/scratchdir.h"

namespace zl::testing {

// Lines as page files end them.
inline std::string Lines(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines) out += std::string(l) + "\r\n";
    return out;
}

// What a fresh page window writes before its widgets; `caption` as written in the file.
inline std::string FreshPageHead(const std::string& name, const std::string& caption, int displaytime) {
    return "object " + name + ": TFrmZorLedForm\r\n" +
           Lines({"  Left = 200", "  Top = 16", "  BorderStyle = bsDialog"}) + "  Caption = " + caption + "\r\n" +
           Lines({"  ClientHeight = 255", "  ClientWidth = 291", "  Color = clBtnFace",
                  "  Font.Charset = DEFAULT_CHARSET", "  Font.Color = clWindowText", "  Font.Height = -11",
                  "  Font.Name = 'MS Sans Serif'", "  Font.Style = []", "  FormStyle = fsStayOnTop",
                  "  OldCreateOrder = False", "  Visible = True", "  OnCreate = FormCreate",
                  "  OnDblClick = FormDblClick", "  OnDestroy = FormDestroy", "  OnMouseDown = FormMouseDown",
                  "  OnMouseMove = FormMouseMove", "  OnMouseUp = FormMouseUp"}) +
           "  displaytime = " + std::to_string(displaytime) + "\r\n" + Lines({"  PixelsPerInch = 96", "  TextHeight = 13"});
}

// Page files written and read as the program does: its classes registered, widget names
// counted from 1 again, a scratch folder of its own.
class PageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterPageClasses();
        ResetWidgetCounters();
    }
    static std::unique_ptr<TFrmZorLedForm> NewPage() {
        return std::unique_ptr<TFrmZorLedForm>(CreatePageWindow("LedDesignWin"));
    }
    std::string Saved(TFrmZorLedForm& page, const char* name = "out.DFM") {
        SavePageFile(page, scratch_ / name);
        return ReadWholeFile(scratch_ / name);
    }

    ScratchDir scratch_{"zorled-page"};
};

}  // namespace zl::testing
