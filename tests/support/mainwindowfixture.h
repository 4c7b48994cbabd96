// The main window as the program makes it, in a home folder of the test's own: page classes
// registered, widget counters from 1, reported errors collected and the save question answered
// by the test.
#pragma once
#include <gtest/gtest.h>

#include <QStringList>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/mainwindow.h"
#include "core/pagetext/writer.h"
#include "page/frmzorledform.h"
#include "page/pagefile.h"
#include "qtbase/application.h"
#include "support/scratchdir.h"

namespace zl::testing {

class MainWindowTest : public ::testing::Test {
public:
    // Without openWindow the test opens it itself (OpenWindow), once its home holds what the
    // window reads when it starts.
    explicit MainWindowTest(const char* prefix, bool openWindow = true) : scratch_(prefix), openWindow_(openWindow) {}
    void SetUp() override {
        ::setenv("ZORLED_HOME", scratch_.path().c_str(), 1);
        RegisterPageClasses();
        ResetWidgetCounters();
        previous_ = SetErrorReporter([this](const QString& m) { reports_ << m; });
        if (openWindow_) OpenWindow();
    }
    void OpenWindow() {
        window_ = std::make_unique<TSYS_Frmzorled>();
        window_->AskSaveChanges = [this] {
            ++questions_;
            return answer_;
        };
    }
    void TearDown() override {
        window_.reset();
        SetErrorReporter(previous_);
        ::unsetenv("ZORLED_HOME");
    }
    TFrmZorLedForm& Page() { return *window_->Page; }
    std::string Text() { return pagetext::Write(PageToTree(Page())); }
    // The report at the index, empty when there is none.
    std::string Report(int index) const { return reports_.value(index).toStdString(); }
    Control* Widget(const char* name) { return dynamic_cast<Control*>(Page().FindComponent(name)); }
    void Select(std::initializer_list<const char*> names) {
        std::vector<Control*> widgets;
        for (const char* n : names) widgets.push_back(Widget(n));
        Page().Selection->SelectWidgets(widgets);
    }

    ScratchDir scratch_;
    std::unique_ptr<TSYS_Frmzorled> window_;
    int questions_ = 0;
    TSYS_Frmzorled::SaveAnswer answer_ = TSYS_Frmzorled::SaveAnswer::Cancel;
    QStringList reports_;
    ErrorReporter previous_;

private:
    bool openWindow_;
};

}  // namespace zl::testing
