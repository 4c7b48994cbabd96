#pragma once
#include <QImage>
#include <QWidget>
#include <memory>
#include <vector>

#include "output/ledoutputconfig.h"
#include "output/ledoutputengine.h"
#include "output/pixelmap.h"

class QLabel;
class QScrollArea;
class QSpinBox;
class QTableWidget;

namespace zl {

// The outputs' pixels as round dots on black, laid out as their regions lie on the page.
class LedDotView : public QWidget {
public:
    explicit LedDotView(QWidget* parent = nullptr);
    void SetOutputs(const std::vector<LedOutputConfig>& outputs);
    void ShowFrame(int index, const std::uint8_t* wire, size_t bytes);
    void SetPitch(int pitch);
    int Pitch() const { return pitch_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Panel {
        LedOutputConfig config;
        std::unique_ptr<PixelMap> map;
        QImage pixels;  // region size, the colours last sent
    };
    void MakeDot();

    std::vector<Panel> panels_;
    QRect bounds_;  // union of the regions, in page pixels
    int pitch_ = 6;
    QImage dot_;    // one pitch square: black around a clear round hole
};

// The LED preview window: the dots, the pitch, a scrolling table of the outputs and the status
// line, within the screen however many outputs there are.
class LedPreview : public QWidget {
    Q_OBJECT
public:
    explicit LedPreview(QWidget* parent = nullptr);
    void SetOutputs(const std::vector<LedOutputConfig>& outputs);
    void ShowFrame(int index, const std::uint8_t* wire, size_t bytes);
    void SetStatus(const QString& status);
    QString Status() const;
    // One line per output: frames and packets a second since the last call, errors, the
    // problem now or the last one there was.
    void ShowStats(const std::vector<LedOutputStats>& stats, long long nowMs);
    QString OutputLines() const;
    // The outputs' table: name, protocol, target, frames and packets a second, errors, skipped
    // frames and the last error.
    QTableWidget* Table() const { return table_; }
    LedDotView* Dots() const { return dots_; }
    QSpinBox* PitchBox() const { return pitch_; }

private:
    LedDotView* dots_;
    QScrollArea* scroll_;
    QSpinBox* pitch_;
    QTableWidget* table_;
    QString outputLines_;
    QLabel* status_;
    std::vector<LedOutputConfig> configs_;
    std::vector<LedOutputStats> previous_;
    long long previousMs_ = 0;
};

}  // namespace zl
