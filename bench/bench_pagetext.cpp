#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "core/pagetext/parser.h"
#include "core/pagetext/writer.h"

// Parsing and writing a 10 MB page text of many widgets, against a plain read of the same bytes.
namespace {

using namespace zl::pagetext;

constexpr std::size_t kTargetSize = 10 * 1000 * 1000;

Property Prop(std::string path, Value value) { return {std::move(path), std::move(value)}; }

void AddFont(Object& widget, int height) {
    widget.properties.push_back(Prop("Font.Charset", Value::Ident("GB2312_CHARSET")));
    widget.properties.push_back(Prop("Font.Color", Value::Ident("clRed")));
    widget.properties.push_back(Prop("Font.Height", Value::Integer(-height)));
    widget.properties.push_back(Prop("Font.Name", Value::String(u"宋体")));
    widget.properties.push_back(Prop("Font.Style", Value::Set({"fsBold"})));
    widget.properties.push_back(Prop("ParentFont", Value::Ident("False")));
}

Object MakeWidget(int n) {
    static const char* const kClasses[] = {"Tzorledlabel", "Tzorledzmd", "TzorledScrollText",
                                           "Tzorledimage", "Tzorledclock"};
    Object w;
    w.className = kClasses[n % 5];
    w.name = "widget" + std::to_string(n);
    for (const char* p : {"Left", "Top", "Width", "Height"})
        w.properties.push_back(Prop(p, Value::Integer((n * 37 + p[0]) % 800)));
    switch (n % 5) {
        case 0:
            w.properties.push_back(Prop("AutoSize", Value::Ident("False")));
            w.properties.push_back(Prop("Caption", Value::String(u"今日天气：晴，气温 12 到 20 度")));
            w.properties.push_back(Prop("Color", Value::Ident("clBlack")));
            AddFont(w, 15);
            w.properties.push_back(Prop("Transparent", Value::Ident("True")));
            break;
        case 1:
            w.properties.push_back(Prop("Caption", Value::String(
                u"欢迎光临本店，今日特价商品请到一楼服务台咨询。Welcome, today's offers are at the desk on the "
                u"ground floor.")));
            AddFont(w, 24);
            w.properties.push_back(Prop("Speed", Value::Integer(30)));
            w.properties.push_back(Prop("datainterface", Value::Ident("dataformtxtfile")));
            w.properties.push_back(Prop("TextFileName", Value::String(u"C:\\ZorLED\\data\\news.txt")));
            break;
        case 2: {
            CollectionValue labels;
            labels.items.push_back({std::nullopt, {Prop("Name", Value::String(u"Center")),
                                                   Prop("Color", Value::Ident("clYellow"))}});
            w.properties.push_back(Prop("Labels", std::move(labels)));
            w.properties.push_back(Prop("ScrollDelay", Value::Integer(40)));
            ListValue lines;
            for (int i = 0; i < 6; ++i)
                lines.items.push_back(Value::String(u"第" + std::u16string(1, u'一' + i) + u"行 <Center>led滚动文字 line"));
            w.properties.push_back(Prop("Text.Lines.Strings", std::move(lines)));
            w.properties.push_back(Prop("DataRefreshTime", Value::Integer(180000)));
            break;
        }
        case 3: {
            std::vector<std::uint8_t> picture(1200);
            for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>(i * 7 + n);
            w.properties.push_back(Prop("Picture.Data", Value::Binary(std::move(picture))));
            w.properties.push_back(Prop("Stretch", Value::Ident("True")));
            break;
        }
        case 4:
            AddFont(w, 15);
            w.properties.push_back(Prop("Started", Value::Float(38000.5L + n, FloatKind::DateTime)));
            w.properties.push_back(Prop("startdate", Value::String(u"2024-1-1")));
            w.properties.push_back(Prop("DisplayType", Value::Ident("DTclock")));
            w.properties.push_back(Prop("DATEFORMAT", Value::String(u"yyyy-mm-dd hh:nn:ss")));
            break;
    }
    return w;
}

const std::string& PageText() {
    static const std::string text = [] {
        Object page;
        page.name = "LedDesignWin";
        page.className = "TFrmZorLedForm";
        page.properties = {Prop("Left", Value::Integer(192)), Prop("BorderStyle", Value::Ident("bsDialog")),
                           Prop("Caption", Value::String(u"页面")), Prop("displaytime", Value::Integer(10)),
                           Prop("Ratio", Value::Float(1.5L))};
        std::string out;
        for (int n = 0; out.size() < kTargetSize; ++n) {
            for (int k = 0; k < 500; ++k) page.children.push_back(MakeWidget(n * 500 + k));
            out = Write(page);
        }
        return out;
    }();
    return text;
}

const std::filesystem::path& PageFile() {
    static const std::filesystem::path path = [] {
        auto p = std::filesystem::temp_directory_path() / "zorled_bench_pagetext.dfm";
        std::ofstream(p, std::ios::binary) << PageText();
        return p;
    }();
    return path;
}

void BM_PlainRead(benchmark::State& state) {
    const auto& path = PageFile();
    std::string bytes;
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        bytes.resize(std::filesystem::file_size(path));
        const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        benchmark::DoNotOptimize(got);
    }
    state.SetBytesProcessed(state.iterations() * PageText().size());
}

void BM_Parse(benchmark::State& state) {
    const std::string& text = PageText();
    for (auto _ : state) {
        Object root = Parse(text);
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}

void BM_Write(benchmark::State& state) {
    const Object root = Parse(PageText());
    for (auto _ : state) {
        std::string text = Write(root);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(state.iterations() * PageText().size());
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);

// Prints the rates in MB/s (10^6 bytes) and each against the plain read.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions the median stands for the benchmark.
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            if (auto it = run.counters.find("bytes_per_second"); it != run.counters.end())
                rates_[run.run_name.function_name] = it->second.value / 1e6;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double read = rates_["BM_PlainRead"];
        std::printf("\npage text of %.1f MB\n", PageText().size() / 1e6);
        for (const auto& [name, rate] : rates_)
            std::printf("%-14s %9.1f MB/s   %6.3f x plain read   %6.1f times slower\n", name.c_str(), rate,
                        read > 0 ? rate / read : 0, rate > 0 ? read / rate : 0);
    }

private:
    std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove(PageFile());
}
