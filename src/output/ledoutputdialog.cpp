#include "output/ledoutputdialog.h"

#include <QCheckBox>
#include <QColor>
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
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include "core/error.h"
#include "core/inifile.h"
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

// Shows a gamma with the digits it has: 2.222 as 2.222, 2.2 as 2.2.
class GammaBox : public QDoubleSpinBox {
public:
    QString textFromValue(double value) const override { return QString::number(value, 'g', 7); }
};

}  // namespace

LedOutputDialog::LedOutputDialog(QWidget* parent, QSize page) : QDialog(parent) {
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
    PatternKind = new QComboBox;
    for (int k = 0; k < kTestPatternCount; ++k)
        PatternKind->addItem(QString::fromUtf8(TestPatternTitle(static_cast<TestPatternKind>(k)).data()));

    Enabled = new QCheckBox(U("发送（关闭时保留设置，不发送）"));
    Protocol = new QComboBox;
    Protocol->addItems({"DDP", "E1.31 (sACN)", "Art-Net"});
    Host = new QLineEdit;
    Host->setPlaceholderText(U("E1.31 留空为组播"));
    Port = Spin(1, 65535);
    Universe = Spin(0, kE131LastUniverse);
    StartChannel = Spin(1, kUniverseChannels);
    PixelsPerUniverse = Spin(0, 170);
    PixelsPerUniverse->setSpecialValueText(U("最多"));
    Offset = Spin(0, 1 << 24);
    Priority = Spin(0, 200);
    Sync = Spin(0, kE131LastUniverse);
    Sync->setSpecialValueText(U("关闭"));
    Pace = Spin(0, kMaxPace);
    Pace->setSuffix(U(" % 帧间隔"));
    Pace->setSpecialValueText(U("不分散"));
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
    for (int c = 0; c < kColorOrderCount; ++c)
        Colors->addItem(QString::fromLatin1(ColorOrderName(static_cast<ColorOrder>(c)).data(),
                                            ChannelsPerPixel(static_cast<ColorOrder>(c))));
    Brightness = Spin(0, 100);
    Brightness->setSuffix(" %");
    Gamma = new GammaBox;
    Gamma->setRange(0.1, 10.0);
    Gamma->setDecimals(6);
    Gamma->setSingleStep(0.1);
    Ttl = Spin(1, 255);
    Interface = new QLineEdit;
    Interface->setPlaceholderText(U("默认"));
    Rate = Spin(1, kMaxFrameRate);
    Rate->setSuffix(U(" 帧/秒"));

    auto* region = new QHBoxLayout;
    for (QSpinBox* box : {X, Y, Width, Height}) region->addWidget(box);
    auto* form = new QFormLayout;
    form->addRow(QString(), Enabled);
    form->addRow(U("协议:"), Protocol);
    form->addRow(U("主机:"), Host);
    form->addRow(U("端口:"), Port);
    form->addRow(U("起始 universe:"), Universe);
    form->addRow(U("起始通道:"), StartChannel);
    form->addRow(U("每 universe 像素:"), PixelsPerUniverse);
    form->addRow(U("DDP 起始像素:"), Offset);
    form->addRow(U("E1.31 优先级:"), Priority);
    syncLabel_ = new QLabel(U("同步 universe:"));
    form->addRow(syncLabel_, Sync);
    form->addRow(U("分散发送:"), Pace);
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
    auto* patternRow = new QHBoxLayout;
    patternRow->addWidget(PatternKind, 1);
    patternRow->addWidget(PatternButton);
    auto* left = new QVBoxLayout;
    left->addWidget(List, 1);
    left->addLayout(listButtons);
    left->addLayout(patternRow);
    auto* body = new QHBoxLayout;
    body->addLayout(left);
    body->addLayout(form, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(OkButton);
    bottom->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    // However many problems there are, they scroll within a few lines of the dialog.
    problemArea_ = new QScrollArea;
    problemArea_->setWidget(Problems);
    problemArea_->setWidgetResizable(true);
    problemArea_->setFrameShape(QFrame::NoFrame);
    problemArea_->setMaximumHeight(140);
    problemArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(problemArea_);
    layout->addLayout(body, 1);
    layout->addLayout(bottom);

    QStringList problems;
    try {
        text_ = ReadLedOutputText();
    } catch (const Error& e) {
        problems << QString::fromUtf8(e.what());
    }
    const LedOutputSettings read = ParseLedOutputs(text_);
    base_ = read.outputs;
    // The list follows the file's order, sections that could not be read among the others.
    // Looked up by name, so a file of many thousand sections opens at once.
    std::unordered_set<std::string> seen;
    std::unordered_map<std::string, const LedOutputConfig*> readable;
    for (const LedOutputConfig& o : read.outputs) readable.emplace(o.section, &o);
    const std::unordered_set<std::string> unreadable(read.unreadable.begin(), read.unreadable.end());
    for (const IniSection& section : ParseIni(text_).sections) {
        std::string lower = section.name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool twice = !seen.insert(lower).second;
        const auto found = readable.find(section.name);
        if (!twice && found != readable.end()) {
            entries_.push_back({*found->second, true});
        } else if (twice || unreadable.count(section.name)) {
            LedOutputConfig kept;
            kept.section = section.name;
            entries_.push_back({kept, false});
        }
    }
    std::vector<std::string> all;
    for (const QString& p : problems) all.push_back(p.toStdString());
    all.insert(all.end(), read.problems.begin(), read.problems.end());
    if (page.isValid())
        for (std::string& p : RegionProblems(read.outputs, page.width(), page.height())) all.push_back(std::move(p));
    ShowProblems(all);

    connect(List, &QListWidget::currentRowChanged, this, [this](int) {
        SetTestPattern(false);
        ShowOutput();
    });
    connect(AddButton, &QPushButton::clicked, this, [this] { AddOutput(); });
    connect(RemoveButton, &QPushButton::clicked, this, [this] { RemoveOutput(); });
    connect(PatternButton, &QPushButton::toggled, this, [this](bool on) { SetTestPattern(on); });
    connect(PatternKind, &QComboBox::currentIndexChanged, this, [this] {
        if (PatternButton->isChecked()) SetTestPattern(true);
    });
    connect(OkButton, &QPushButton::clicked, this, [this] {
        if (Save()) accept();
    });
    connect(CancelButton, &QPushButton::clicked, this, [this] { reject(); });
    for (QSpinBox* box : {Port, Universe, StartChannel, PixelsPerUniverse, Offset, Priority, Sync, Pace, X, Y, Width,
                          Height, Brightness, Ttl, Rate})
        connect(box, &QSpinBox::valueChanged, this, [this, box] { ReadField(box); });
    for (QComboBox* box : {Start, Lines, Colors})
        connect(box, &QComboBox::currentIndexChanged, this, [this, box] { ReadField(box); });
    connect(Protocol, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (filling_) return;
        // A port left at another protocol's default follows the protocol.
        const int ports[] = {kDdpDefaultPort, kE131DefaultPort, kArtNetDefaultPort};
        if (std::find(std::begin(ports), std::end(ports), Port->value()) != std::end(ports))
            Port->setValue(ports[index]);
        ReadField(Protocol);
    });
    connect(Serpentine, &QCheckBox::toggled, this, [this] { ReadField(Serpentine); });
    connect(Enabled, &QCheckBox::toggled, this, [this] { ReadField(Enabled); });
    connect(Gamma, &QDoubleSpinBox::valueChanged, this, [this] { ReadField(Gamma); });
    connect(Host, &QLineEdit::textChanged, this, [this] { ReadField(Host); });
    connect(Interface, &QLineEdit::textChanged, this, [this] { ReadField(Interface); });

    RefreshList();
    List->setCurrentRow(entries_.empty() ? -1 : 0);
    ShowOutput();
    // Whatever the file holds, the dialog and its buttons stay on the screen.
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        resize(sizeHint().boundedTo(screen->availableGeometry().size() * 9 / 10));
}

LedOutputDialog::~LedOutputDialog() = default;

void LedOutputDialog::ShowProblems(const std::vector<std::string>& problems) {
    Problems->setText(QString::fromStdString(ProblemList(problems)));
    problemArea_->setVisible(!problems.empty());
}

std::vector<LedOutputConfig> LedOutputDialog::Outputs() const {
    std::vector<LedOutputConfig> outputs;
    for (const Entry& e : entries_)
        if (e.readable) outputs.push_back(e.config);
    return outputs;
}

int LedOutputDialog::Current() const {
    const int row = List->currentRow();
    return row >= 0 && row < static_cast<int>(entries_.size()) ? row : -1;
}

void LedOutputDialog::SelectOutput(int index) { List->setCurrentRow(index); }

namespace {

QString EntryText(const LedOutputConfig& o, bool readable) {
    if (!readable) return QString::fromStdString(Printable(o.section)) + U("（无法读取，原样保留）");
    QString text = QString::fromStdString(Describe(o));
    if (!o.enabled) text += U("（不发送）");
    return text;
}

}  // namespace

void LedOutputDialog::RefreshList() {
    const int row = List->currentRow();
    const QSignalBlocker quiet(List);
    List->clear();
    for (const Entry& e : entries_) {
        List->addItem(EntryText(e.config, e.readable));
        if (!e.readable) List->item(List->count() - 1)->setForeground(QColor(0xB0, 0, 0));
    }
    List->setCurrentRow(std::min(row, static_cast<int>(entries_.size()) - 1));
}

void LedOutputDialog::EnableFields() {
    const int i = Current();
    const bool any = i >= 0 && entries_[static_cast<size_t>(i)].readable;
    for (QWidget* w : std::initializer_list<QWidget*>{Enabled, Protocol, Host, Port, Universe, StartChannel,
                                                      PixelsPerUniverse, Offset, Priority, Sync, Pace, X, Y, Width,
                                                      Height, Start, Lines, Serpentine, Colors, Brightness, Gamma, Ttl,
                                                      Interface, Rate, PatternButton, PatternKind})
        w->setEnabled(any);
    RemoveButton->setEnabled(i >= 0);
    if (!any) return;
    const LedProtocol protocol = entries_[static_cast<size_t>(i)].config.protocol;
    const bool e131 = protocol == LedProtocol::E131, universes = protocol != LedProtocol::Ddp;
    for (QWidget* w : std::initializer_list<QWidget*>{Universe, StartChannel, PixelsPerUniverse, Sync})
        w->setEnabled(universes);
    Offset->setEnabled(!universes);
    // Art-Net synchronises with one ArtSync packet, not a universe of its own.
    syncLabel_->setText(protocol == LedProtocol::ArtNet ? U("ArtSync (1 发送):") : U("同步 universe:"));
    Priority->setEnabled(e131);
    Ttl->setEnabled(e131 && Host->text().isEmpty());
    Interface->setEnabled(e131 && Host->text().isEmpty());
}

void LedOutputDialog::ShowOutput() {
    const int i = Current();
    if (i >= 0 && entries_[static_cast<size_t>(i)].readable) {
        const LedOutputConfig& o = entries_[static_cast<size_t>(i)].config;
        filling_ = true;
        Enabled->setChecked(o.enabled);
        Protocol->setCurrentIndex(static_cast<int>(o.protocol));
        Host->setText(QString::fromStdString(o.host));
        Port->setValue(o.port);
        Universe->setValue(o.universe);
        StartChannel->setValue(o.startChannel);
        PixelsPerUniverse->setValue(o.pixelsPerUniverse);
        Offset->setValue(o.offset);
        Priority->setValue(o.priority);
        Sync->setRange(0, o.protocol == LedProtocol::ArtNet ? 1 : kE131LastUniverse);
        Sync->setValue(o.sync);
        Pace->setValue(o.pace);
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

void LedOutputDialog::ReadField(QObject* field) {
    const int i = Current();
    if (filling_ || i < 0 || !entries_[static_cast<size_t>(i)].readable) return;
    LedOutputConfig& o = entries_[static_cast<size_t>(i)].config;
    // Only the field the installer changed is read back: a value the box cannot show to the
    // digit (or at all) stays as the file has it.
    if (field == Enabled) o.enabled = Enabled->isChecked();
    else if (field == Host) o.host = Host->text().trimmed().toStdString();
    else if (field == Port) o.port = Port->value();
    else if (field == Universe) o.universe = Universe->value();
    else if (field == StartChannel) o.startChannel = StartChannel->value();
    else if (field == PixelsPerUniverse) o.pixelsPerUniverse = PixelsPerUniverse->value();
    else if (field == Offset) o.offset = Offset->value();
    else if (field == Priority) o.priority = Priority->value();
    else if (field == Sync) o.sync = Sync->value();
    else if (field == Pace) o.pace = Pace->value();
    else if (field == X) o.x = X->value();
    else if (field == Y) o.y = Y->value();
    else if (field == Width) o.width = Width->value();
    else if (field == Height) o.height = Height->value();
    else if (field == Start) o.start = static_cast<PanelStart>(Start->currentIndex());
    else if (field == Lines) o.columns = Lines->currentIndex() == 1;
    else if (field == Serpentine) o.serpentine = Serpentine->isChecked();
    else if (field == Colors) o.colors = static_cast<ColorOrder>(Colors->currentIndex());
    else if (field == Brightness) o.brightness = Brightness->value();
    else if (field == Gamma) o.gamma = Gamma->value();
    else if (field == Ttl) o.ttl = Ttl->value();
    else if (field == Interface) o.interface = Interface->text().trimmed().toStdString();
    else if (field == Rate) o.rate = Rate->value();
    else if (field == Protocol) {
        o.protocol = static_cast<LedProtocol>(Protocol->currentIndex());
        const QSignalBlocker quiet(Sync);
        Sync->setRange(0, o.protocol == LedProtocol::ArtNet ? 1 : kE131LastUniverse);
        o.sync = Sync->value();  // Art-Net's sync is on or off
    }
    if (auto* item = List->item(i)) item->setText(EntryText(o, true));
    EnableFields();
    // The pattern follows what is on view.
    if (PatternButton->isChecked()) SetTestPattern(true);
}

void LedOutputDialog::AddOutput() {
    LedOutputConfig o;
    // A new output starts where the last one ended, so adding panels side by side is quick.
    const auto last = std::find_if(entries_.rbegin(), entries_.rend(), [](const Entry& e) { return e.readable; });
    if (last != entries_.rend()) {
        const LedOutputConfig& before = last->config;
        o = before;
        o.x = before.x + before.width;
        if (o.UsesUniverses())
            o.universe = static_cast<int>(std::min<long long>(kE131LastUniverse, before.universe + before.UniverseCount()));
        if (o.protocol == LedProtocol::Ddp) o.offset = 0;
    } else {
        o.host = "127.0.0.1";
    }
    std::vector<std::string> taken = removed_;
    for (const Entry& e : entries_) taken.push_back(e.config.section);
    o.section = FreeSectionName(text_, taken);
    entries_.push_back({o, true});
    RefreshList();
    List->setCurrentRow(static_cast<int>(entries_.size()) - 1);
}

void LedOutputDialog::RemoveOutput() {
    const int i = Current();
    if (i < 0) return;
    SetTestPattern(false);
    removed_.push_back(entries_[static_cast<size_t>(i)].config.section);
    entries_.erase(entries_.begin() + i);
    RefreshList();
    ShowOutput();
}

void LedOutputDialog::SetTestPattern(bool on) {
    const int i = Current();
    pattern_.reset();
    if (on && i >= 0 && entries_[static_cast<size_t>(i)].readable && Invalid().isEmpty()) {
        LedOutputConfig o = entries_[static_cast<size_t>(i)].config;
        o.enabled = true;  // the installer asked for it
        pattern_ = std::make_unique<LedOutputEngine>(nullptr);
        pattern_->SetOutputs({o});
        pattern_->SetTestPattern(0, true, static_cast<TestPatternKind>(PatternKind->currentIndex()));
        pattern_->Start();
    }
    const QSignalBlocker quiet(PatternButton);
    PatternButton->setChecked(pattern_ != nullptr);
}

QString LedOutputDialog::Invalid() const {
    for (const Entry& e : entries_) {
        if (!e.readable) continue;
        const LedOutputConfig& o = e.config;
        const QString name = QString::fromStdString(Printable(o.section));
        if (o.protocol != LedProtocol::E131 && o.host.empty())
            return U("%1：%2 需要控制器的地址").arg(name, o.protocol == LedProtocol::Ddp ? "DDP" : "Art-Net");
        if (o.UsesUniverses() && o.pixelsPerUniverse > kUniverseChannels / o.Channels())
            return U("%1：每个像素 %2 个通道时每 universe 最多 %3 个像素")
                .arg(name).arg(o.Channels()).arg(kUniverseChannels / o.Channels());
        const int lastAllowed = o.protocol == LedProtocol::ArtNet ? kArtNetLastUniverse : kE131LastUniverse;
        if (o.protocol == LedProtocol::E131 && o.universe < 1) return U("%1：E1.31 的 universe 从 1 起").arg(name);
        const long long last = o.universe + o.UniverseCount() - 1;
        if (o.UsesUniverses() && last > lastAllowed)
            return U("%1：区域需要 %2 个 universe，从 %3 起超出 %4")
                .arg(name).arg(o.UniverseCount()).arg(o.universe).arg(lastAllowed);
    }
    return {};
}

bool LedOutputDialog::Save() {
    if (const QString why = Invalid(); !why.isEmpty()) {
        Warn(why);
        return false;
    }
    try {
        // Applied to the file as it is now, so what was written into it meanwhile stays too.
        const std::string now = ReadLedOutputText();
        const std::string text = EditLedOutputText(now, Outputs(), removed_, base_);
        // Unchanged, the file is left alone altogether.
        if (text != now || !std::filesystem::exists(LedOutputFilePath())) WriteLedOutputText(text);
        text_ = text;
        base_ = Outputs();
        removed_.clear();
    } catch (const Error& e) {
        Warn(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

bool EditLedOutputs(QWidget* parent, QSize page) {
    LedOutputDialog dialog(parent, page);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace zl
