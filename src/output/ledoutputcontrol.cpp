#include "output/ledoutputcontrol.h"

#include <QAction>
#include <QWidget>

#include "output/ledoutputdialog.h"
#include "output/ledpreview.h"
#include "qtbase/application.h"

namespace zl {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

}  // namespace

LedOutputControl::LedOutputControl(QWidget* window, std::function<QWidget*()> page)
    : window_(window), page_(page), engine_(std::move(page)) {
    settings_ = new QAction(U("输出设置"), this);
    settings_->setObjectName("ActionLedOutput");
    preview_ = new QAction(U("LED预览"), this);
    preview_->setObjectName("ActionLedPreview");
    designOutput_ = new QAction(U("设计时输出"), this);
    designOutput_->setObjectName("ActionLedDesignOutput");
    designOutput_->setCheckable(true);
    RunDialog = [this] {
        QWidget* page = page_ ? page_() : nullptr;
        return EditLedOutputs(window_, page ? page->size() : QSize());
    };

    connect(settings_, &QAction::triggered, this, [this] {
        // The controllers show the test pattern alone while the dialog is open.
        const bool wasRunning = engine_.Running();
        engine_.Stop();
        const bool saved = RunDialog();
        if (saved || !loaded_) Reload();
        if (wasRunning || saved) Apply();
    });
    connect(preview_, &QAction::triggered, this, [this] {
        LedPreview& p = Preview();
        p.show();
        p.raise();
        statsTimer_->SetEnabled(true);
    });
    // The preview's figures once a second.
    statsTimer_ = CreateTimer();
    statsTimer_->SetInterval(1000);
    statsTimer_->SetOnTimer([this] {
        if (!previewWindow_ || !previewWindow_->isVisible()) {
            statsTimer_->SetEnabled(false);  // shown again by its menu entry
            return;
        }
        std::vector<LedOutputStats> stats;
        for (size_t i = 0; i < engine_.Outputs().size(); ++i) stats.push_back(engine_.Stats(static_cast<int>(i)));
        previewWindow_->ShowStats(stats, Now());
    });
    connect(designOutput_, &QAction::toggled, this, [this](bool on) { SetDesignOutput(on); });
    engine_.FrameSent = [this](int index, const std::uint8_t* wire, size_t bytes) {
        if (previewWindow_ && previewWindow_->isVisible()) previewWindow_->ShowFrame(index, wire, bytes);
    };
    engine_.StatusChanged = [this](const QString& status) {
        if (previewWindow_) previewWindow_->SetStatus(status);
    };
}

LedOutputControl::~LedOutputControl() {
    // Ending the streams on the way out lets receivers drop us at once.
    engine_.Stop();
    engine_.FrameSent = nullptr;
    engine_.StatusChanged = nullptr;
}

LedPreview& LedOutputControl::Preview() {
    if (!previewWindow_) {
        if (!loaded_) Reload();
        previewWindow_ = std::make_unique<LedPreview>();
        previewWindow_->SetOutputs(engine_.Outputs());
        previewWindow_->SetStatus(engine_.Status());
    }
    return *previewWindow_;
}

void LedOutputControl::SetPlaying(bool playing) {
    if (playing == playing_) return;
    playing_ = playing;
    // Every start of play reads the file again, so a hand-edited file counts without a restart.
    if (playing_ || !loaded_) Reload();
    Apply();
}

void LedOutputControl::SetDesignOutput(bool on) {
    if (designOutput_->isChecked() != on) {
        designOutput_->setChecked(on);  // comes back here through toggled
        return;
    }
    if (on && !playing_) Reload();
    Apply();
}

void LedOutputControl::Reload() {
    loaded_ = true;
    LedOutputSettings read = LoadLedOutputs();
    engine_.SetOutputs(read.outputs);
    if (previewWindow_) previewWindow_->SetOutputs(read.outputs);
    if (QWidget* page = page_ ? page_() : nullptr)
        for (std::string& p : RegionProblems(read.outputs, page->width(), page->height()))
            read.problems.push_back(std::move(p));
    if (!read.problems.empty()) {
        for (const std::string& p : read.problems) qWarning("%s", p.c_str());
        ReportError(QString::fromStdString(ProblemList(read.problems)));
    }
}

void LedOutputControl::Apply() {
    const bool want = (playing_ || designOutput_->isChecked()) && !engine_.Outputs().empty();
    if (want)
        engine_.Start();
    else
        engine_.Stop();
}

}  // namespace zl
