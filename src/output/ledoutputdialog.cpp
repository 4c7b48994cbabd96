#include "output/ledoutputdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/error.h"
#include "output/ledoutputengine.h"
#include "output/packets.h"

namespace zl {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

QSpinBox* Spin(int low, int high) {
    auto* box = new QSpinBox;
    box->setRange(low, high);
    return box;
}

}  // namespace

LedOutputDialog::LedOutputDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("LedOutputDialog");
    setWindowTitle(U("LED输出"));
    Warn = [this](const QString& why) { QMessageBox::warning(this, U("LED输出"), why); };

    List = new QListWidget;
    List->setMinimumWidth(220);
    AddButton = new QPushButton(U("添加"));
    RemoveButton = new QPushButton(U("删除"));
    PatternButton = new QPushButton(U("测试图案"));
    PatternButton->setCheckable(true);
    OkButton = new QPushButton(U("确定"));
    CancelButton = new QPushButton(U("取消"));
    for (QPushButton* b : {AddButton, RemoveButton, PatternButton, OkButton, CancelButton}) b->setAutoDefault(false);
    Problems = new QLabel;
    Problems->setObjectName("problems");
    Problems->setWordWrap(true);
    Problems->setStyleSheet("color: #b00000");

    Protocol = new QComboBox;
    Protocol->addItems({"DDP", "E1.31 (sACN)"});
    Host = new QLineEdit;
    Host->setPlaceholderText(U("E1.31 留空为组播"));
    Port = Spin(1, 65535);
    Universe = Spin(1, kE131LastUniverse);
    X = Spin(0, 32767);
    Y = Spin(0, 32767);
    Width = Spin(1, kMaxOutputSide);
    Height = Spin(1, kMaxOutputSide);
    Start = new QComboBox;
    Start->addItems({U("左上"), U("右上"), U("左下"), U("右下")});
    Lines = new QComboBox;
    Lines->addItems({U("按行"), U("按列")});
    Serpentine = new QCheckBox(U("蛇形（每隔一行反向）"));
    Colors = new QComboBox;
    for (int c = 0; c <= static_cast<int>(ColorOrder::BGR); ++c)
        Colors->addItem(QString::fromLatin1(ColorOrderName(static_cast<ColorOrder>(c)).data(), 3));
    Brightness = Spin(0, 100);
    Brightness->setSuffix(" %");
    Gamma = new QDoubleSpinBox;
    Gamma->setRange(0.1, 10.0);
    Gamma->setDecimals(2);
    Gamma->setSingleStep(0.1);
    Ttl = Spin(1, 255);
    Interface = new QLineEdit;
    Interface->setPlaceholderText(U("默认"));
    Rate = Spin(1, kMaxFrameRate);
    Rate->setSuffix(U(" 帧/秒"));

    auto* region = new QHBoxLayout;
    for (QSpinBox* box : {X, Y, Width, Height}) region->addWidget(box);
    auto* form = new QFormLayout;
    form->addRow(U("协议:"), Protocol);
    form->addRow(U("主机:"), Host);
    form->addRow(U("端口:"), Port);
    form->addRow(U("起始 universe:"), Universe);
    form->addRow(U("页面区域 (X, Y, 宽, 高):"), region);
    form->addRow(U("首个像素:"), Start);
    form->addRow(U("走线:"), Lines);
    form->addRow(QString(), Serpentine);
    form->addRow(U("颜色顺序:"), Colors);
    form->addRow(U("亮度:"), Brightness);
    form->addRow(U("伽马:"), Gamma);
    form->addRow(U("组播 TTL:"), Ttl);
    form->addRow(U("组播接口:"), Interface);
    form->addRow(U("帧率:"), Rate);

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(AddButton);
    listButtons->addWidget(RemoveButton);
    listButtons->addWidget(PatternButton);
    auto* left = new QVBoxLayout;
    left->addWidget(List, 1);
    left->addLayout(listButtons);
    auto* body = new QHBoxLayout;
    body->addLayout(left);
    body->addLayout(form, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(OkButton);
    bottom->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Problems);
    layout->addLayout(body, 1);
    layout->addLayout(bottom);

    const LedOutputSettings read = LoadLedOutputs();
    outputs_ = read.outputs;
    QStringList problems;
    for (const std::string& p : read.problems) problems << QString::fromStdString(p);
    Problems->setText(problems.join('\n'));
    Problems->setVisible(!problems.isEmpty());

    connect(List, &QListWidget::currentRowChanged, this, [this](int) {
        SetTestPattern(false);
        ShowOutput();
    });
    connect(AddButton, &QPushButton::clicked, this, [this] { AddOutput(); });
    connect(RemoveButton, &QPushButton::clicked, this, [this] { RemoveOutput(); });
    connect(PatternButton, &QPushButton::toggled, this, [this](bool on) { SetTestPattern(on); });
    connect(OkButton, &QPushButton::clicked, this, [this] {
        if (Save()) accept();
    });
    connect(CancelButton, &QPushButton::clicked, this, [this] { reject(); });
    for (QSpinBox* box : {Port, Universe, X, Y, Width, Height, Brightness, Ttl, Rate})
        connect(box, &QSpinBox::valueChanged, this, [this] { ReadFields(); });
    for (QComboBox* box : {Start, Lines, Colors})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { ReadFields(); });
    connect(Protocol, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (filling_) return;
        // A port left at the other protocol's default follows the protocol.
        if (index == 1 && Port->value() == kDdpDefaultPort) Port->setValue(kE131DefaultPort);
        if (index == 0 && Port->value() == kE131DefaultPort) Port->setValue(kDdpDefaultPort);
        ReadFields();
    });
    connect(Serpentine, &QCheckBox::toggled, this, [this] { ReadFields(); });
    connect(Gamma, &QDoubleSpinBox::valueChanged, this, [this] { ReadFields(); });
    connect(Host, &QLineEdit::textChanged, this, [this] { ReadFields(); });
    connect(Interface, &QLineEdit::textChanged, this, [this] { ReadFields(); });

    RefreshList();
    List->setCurrentRow(outputs_.empty() ? -1 : 0);
    ShowOutput();
}

LedOutputDialog::~LedOutputDialog() = default;

int LedOutputDialog::Current() const {
    const int row = List->currentRow();
    return row >= 0 && row < static_cast<int>(outputs_.size()) ? row : -1;
}

void LedOutputDialog::SelectOutput(int index) { List->setCurrentRow(index); }

void LedOutputDialog::RefreshList() {
    const int row = List->currentRow();
    const QSignalBlocker quiet(List);
    List->clear();
    for (size_t i = 0; i < outputs_.size(); ++i) {
        LedOutputConfig shown = outputs_[i];
        shown.section = "output" + std::to_string(i + 1);
        List->addItem(QString::fromStdString(Describe(shown)));
    }
    List->setCurrentRow(std::min(row, static_cast<int>(outputs_.size()) - 1));
}

void LedOutputDialog::EnableFields() {
    const int i = Current();
    const bool any = i >= 0;
    for (QWidget* w : std::initializer_list<QWidget*>{Protocol, Host, Port, Universe, X, Y, Width, Height, Start,
                                                      Lines, Serpentine, Colors, Brightness, Gamma, Ttl, Interface,
                                                      Rate, RemoveButton, PatternButton})
        w->setEnabled(any);
    if (!any) return;
    const bool e131 = outputs_[static_cast<size_t>(i)].protocol == LedProtocol::E131;
    Universe->setEnabled(e131);
    Ttl->setEnabled(e131 && Host->text().isEmpty());
    Interface->setEnabled(e131 && Host->text().isEmpty());
}

void LedOutputDialog::ShowOutput() {
    const int i = Current();
    if (i >= 0) {
        const LedOutputConfig& o = outputs_[static_cast<size_t>(i)];
        filling_ = true;
        Protocol->setCurrentIndex(o.protocol == LedProtocol::Ddp ? 0 : 1);
        Host->setText(QString::fromStdString(o.host));
        Port->setValue(o.port);
        Universe->setValue(o.universe);
        X->setValue(o.x);
        Y->setValue(o.y);
        Width->setValue(o.width);
        Height->setValue(o.height);
        Start->setCurrentIndex(static_cast<int>(o.start));
        Lines->setCurrentIndex(o.columns ? 1 : 0);
        Serpentine->setChecked(o.serpentine);
        Colors->setCurrentIndex(static_cast<int>(o.colors));
        Brightness->setValue(o.brightness);
        Gamma->setValue(o.gamma);
        Ttl->setValue(o.ttl);
        Interface->setText(QString::fromStdString(o.interface));
        Rate->setValue(o.rate);
        filling_ = false;
    }
    EnableFields();
}

void LedOutputDialog::ReadFields() {
    const int i = Current();
    if (filling_ || i < 0) return;
    LedOutputConfig& o = outputs_[static_cast<size_t>(i)];
    o.protocol = Protocol->currentIndex() == 0 ? LedProtocol::Ddp : LedProtocol::E131;
    o.host = Host->text().trimmed().toStdString();
    o.port = Port->value();
    o.universe = Universe->value();
    o.x = X->value();
    o.y = Y->value();
    o.width = Width->value();
    o.height = Height->value();
    o.start = static_cast<PanelStart>(Start->currentIndex());
    o.columns = Lines->currentIndex() == 1;
    o.serpentine = Serpentine->isChecked();
    o.colors = static_cast<ColorOrder>(Colors->currentIndex());
    o.brightness = Brightness->value();
    o.gamma = Gamma->value();
    o.ttl = Ttl->value();
    o.interface = Interface->text().trimmed().toStdString();
    o.rate = Rate->value();
    if (auto* item = List->item(i)) {
        LedOutputConfig shown = o;
        shown.section = "output" + std::to_string(i + 1);
        item->setText(QString::fromStdString(Describe(shown)));
    }
    EnableFields();
    // The pattern follows what is on view.
    if (PatternButton->isChecked()) SetTestPattern(true);
}

void LedOutputDialog::AddOutput() {
    LedOutputConfig o;
    o.host = "";
    // A new output starts where the last one ended, so adding panels side by side is quick.
    if (!outputs_.empty()) {
        const LedOutputConfig& last = outputs_.back();
        o = last;
        o.x = last.x + last.width;
        if (o.protocol == LedProtocol::E131)
            o.universe = std::min<int>(kE131LastUniverse,
                                       last.universe + static_cast<int>(E131UniverseCount(last.PixelCount())));
    } else {
        o.host = "127.0.0.1";
    }
    outputs_.push_back(o);
    RefreshList();
    List->setCurrentRow(static_cast<int>(outputs_.size()) - 1);
}

void LedOutputDialog::RemoveOutput() {
    const int i = Current();
    if (i < 0) return;
    SetTestPattern(false);
    outputs_.erase(outputs_.begin() + i);
    RefreshList();
    ShowOutput();
}

void LedOutputDialog::SetTestPattern(bool on) {
    const int i = Current();
    pattern_.reset();
    if (on && i >= 0 && Invalid().isEmpty()) {
        pattern_ = std::make_unique<LedOutputEngine>(nullptr);
        pattern_->SetOutputs({outputs_[static_cast<size_t>(i)]});
        pattern_->SetTestPattern(0, true);
        pattern_->Start();
    }
    const QSignalBlocker quiet(PatternButton);
    PatternButton->setChecked(pattern_ != nullptr);
}

QString LedOutputDialog::Invalid() const {
    for (size_t i = 0; i < outputs_.size(); ++i) {
        const LedOutputConfig& o = outputs_[i];
        const QString name = QString::fromUtf8("output%1").arg(i + 1);
        if (o.protocol == LedProtocol::Ddp && o.host.empty())
            return U("%1：DDP 需要控制器的地址").arg(name);
        const long long last = o.universe + static_cast<long long>(E131UniverseCount(o.PixelCount())) - 1;
        if (o.protocol == LedProtocol::E131 && last > kE131LastUniverse)
            return U("%1：区域需要 %2 个 universe，从 %3 起超出 63999")
                .arg(name).arg(E131UniverseCount(o.PixelCount())).arg(o.universe);
    }
    return {};
}

bool LedOutputDialog::Save() {
    if (const QString why = Invalid(); !why.isEmpty()) {
        Warn(why);
        return false;
    }
    try {
        SaveLedOutputs(outputs_);
    } catch (const Error& e) {
        Warn(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

bool EditLedOutputs(QWidget* parent) {
    LedOutputDialog dialog(parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace zl
