#pragma once
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "output/ledoutputengine.h"

class QAction;
class QWidget;

namespace zl {

class LedPreview;

// What the main window needs of the LED outputs: the menu entries ("输出设置" for the dialog,
// "LED预览", "设计时输出"), and streaming while play runs or while the operator asks for it in design mode.
class LedOutputControl : public QObject {
    Q_OBJECT
public:
    LedOutputControl(QWidget* window, std::function<QWidget*()> page);
    ~LedOutputControl() override;

    QList<QAction*> Actions() const { return {settings_, preview_, designOutput_}; }
    void SetPlaying(bool playing);
    LedOutputEngine& Engine() { return engine_; }
    // The preview window, made on first use.
    LedPreview& Preview();
    void SetDesignOutput(bool on);

    // Seam for tests: runs the settings dialog, true when it saved.
    std::function<bool()> RunDialog;

private:
    // Reads ledoutput.ini again; problems in it are reported once per reading.
    void Reload();
    void Apply();

    QWidget* window_;
    std::function<QWidget*()> page_;
    LedOutputEngine engine_;
    std::unique_ptr<Timer> statsTimer_;
    bool playing_ = false;
    bool loaded_ = false;
    QAction* settings_;
    QAction* preview_;
    QAction* designOutput_;
    std::unique_ptr<LedPreview> previewWindow_;
};

}  // namespace zl
