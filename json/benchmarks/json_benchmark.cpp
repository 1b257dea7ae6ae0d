// Loading a search answer and reading it the way the song search does.
//
//   cmake --build build --target json_benchmark && build/json/json_benchmark
//
// Counters: songs read per answer, and the engine's peak memory in MiB (its allocator's count).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "json/json_document.h"
#include "platform/automation.h"
#include "platform/automation_backends.h"
#include "text/url_encode.h"

namespace {

// Invented titles and names, of the lengths such answers carry.
const char* const kWords[] = {"春天的风", "夜色很长", "远方来信", "海边的灯", "旧时光里",
                              "雨停以后", "山那边的云", "梦里的河", "晚安小镇", "纸飞机的夏天",
                              "星星落下", "月光码头", "慢慢走", "城南花信", "北窗", "白色站台",
                              "林间小路", "第七封信", "风吹麦浪", "灯火人间"};
const char* const kArtists[] = {"林小雨", "陈一舟", "苏晚晴", "顾北辰", "叶知秋", "沈默然",
                                "白若溪", "江南北", "许清和", "夏初见"};

std::string word(unsigned k) { return kWords[k % 20]; }

std::string artist(unsigned k, unsigned id) {
    char text[600];
    std::snprintf(text, sizeof text,
                  R"({"name":"%s","id":%u,"picUrl":null,"alias":[],"albumSize":0,"picId":0,)"
                  R"("img1v1Url":"http://img.example.invalid/a/6yUleORITEDbvrOLV0Q8A/5639395138885805.jpg",)"
                  R"("img1v1":0,"trans":null})",
                  kArtists[k % 10], id);
    return text;
}

// One song as the search interface sends it: the four fields read, and the many that are not.
std::string song(unsigned k) {
    unsigned id = 186000 + k * 7919;
    std::string artists = "[" + artist(k, 6452 + k);
    if (k % 3 == 0) artists += "," + artist(k + 3, 3684 + k);
    artists += "]";
    char text[4000];
    std::snprintf(
        text, sizeof text,
        R"({"name":"%s（%s版）","id":%u,"position":%u,"alias":["%s"],"status":0,"fee":8,)"
        R"("copyrightId":7002,"disc":"01","no":%u,"artists":%s,)"
        R"("album":{"name":"%s","id":%u,"type":"专辑","size":%u,"picId":109951163200249252,)"
        R"("blurPicUrl":"http://img.example.invalid/b/cUTk0ewrQtYGP2YpPZoUng/3265549553028224.jpg",)"
        R"("companyId":0,"pic":3265549553028224,)"
        R"("picUrl":"http://img.example.invalid/c/cUTk0ewrQtYGP2YpPZoUng/3265549553028224.jpg",)"
        R"("publishTime":1067616000007,"description":"","tags":"","company":"星河音像有限公司",)"
        R"("briefDesc":"","songs":[],"alias":[],"status":1,"copyrightId":7002,)"
        R"("commentThreadId":"album-%u","subType":"录音室版","transName":null,)"
        R"("onSale":false,"mark":0},"starred":false,"popularity":%u.0,"score":%u,)"
        R"("starredNum":0,"duration":%u,"playedNum":0,"dayPlays":0,"hearTime":0,)"
        R"("commentThreadId":"song-%u","rtUrl":null,"ftype":0,"rtUrls":[],"copyright":1,)"
        R"("transName":null,"sign":null,"mark":8192,"rtype":0,"rurl":null,"mvid":%u,)"

        R"("mp3Url":null,"rtUrl":null%.0u})",
        word(k).c_str(), word(k + 7).c_str(), id, k + 1, word(k + 3).c_str(), k % 12 + 1,
        artists.c_str(), word(k + 11).c_str(), 18900 + k, 10 + k % 5, 18900 + k, 100 - k % 40, 100 - k % 37, 200000 + k * 1237, id, k % 4 ? 0 : 5300000 + k,
        0);
    return text;
}

Text searchAnswer(unsigned songs) {
    std::string json = R"({"result":{"songs":[)";
    for (unsigned k = 0; k < songs; ++k) {
        if (k) json += ",";
        json += song(k);
    }
    json += R"(],"songCount":)" + std::to_string(songs * 6) + R"(},"code":200,"trace":"000000000"})";
    return utf8ToAnsi(json);
}

// A different answer on every call, as the search gets: the engine keeps the compiled form of
// code it was given before, which would flatter a benchmark that loads one text over and over.
class AnswerSource {
public:
    explicit AnswerSource(unsigned songs) : answer_(searchAnswer(songs)) {
        digits_ = answer_.rfind("000000000");
    }
    const Text& next() {
        ++serial_;
        Text number = std::to_string(serial_);
        answer_.replace(digits_ + 9 - number.size(), number.size(), number);
        return answer_;
    }
    std::size_t size() const { return answer_.size(); }

private:
    Text answer_;
    std::size_t digits_ = 0;
    unsigned serial_ = 0;
};

// Reads as the search's worker does: one document per answer.
void readAnswer(const Text& answer, benchmark::State& state) {
    JsonDocument document;
    if (!document.parse(answer)) state.SkipWithError("the answer did not load");
    int count = document.getMemberCount("result.songs");
    for (int k = 0; k < count; ++k) {
        Text index = std::to_string(k);
        Text name = document.getProperty("result.songs[" + index + "].name");
        Text artist = document.getProperty("result.songs[" + index + "].artists[0].name");
        Text album = document.getProperty("result.songs[" + index + "].album.name");
        Text id = document.getProperty("result.songs[" + index + "].id");
        benchmark::DoNotOptimize(name);
        benchmark::DoNotOptimize(artist);
        benchmark::DoNotOptimize(album);
        benchmark::DoNotOptimize(id);
        if (name.empty() || artist.empty() || album.empty() || id.empty())
            state.SkipWithError("a field came back empty");
    }
    state.counters["songs"] = count;
}

void SearchAnswer(benchmark::State& state) {
    AnswerSource answers(50);
    // Keeps the engines the documents make, to read their memory figures.
    std::shared_ptr<Dispatch> last;
    double peak = 0;
    setAutomationFactory("MSScriptControl.ScriptControl", [&last] {
        last = makeScriptControl();
        return last;
    });
    for (auto _ : state) {
        readAnswer(answers.next(), state);
        Variant figure;
        if (last && last->getProperty("PeakMemory", {}, figure) && figure.toNumber() > peak)
            peak = figure.toNumber();
        last.reset();
    }
    setAutomationFactory("MSScriptControl.ScriptControl", nullptr);
    state.counters["answer_KiB"] = static_cast<double>(answers.size()) / 1024;
    state.counters["engine_peak_MiB"] = peak / (1024 * 1024);
}
BENCHMARK(SearchAnswer)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The parts: a document on its own, and the load without the reads.
void NewDocument(benchmark::State& state) {
    for (auto _ : state) {
        JsonDocument document;
        benchmark::DoNotOptimize(document);
    }
}
BENCHMARK(NewDocument)->Unit(benchmark::kMicrosecond);

void ParseOnly(benchmark::State& state) {
    AnswerSource answers(50);
    for (auto _ : state) {
        JsonDocument document;
        benchmark::DoNotOptimize(document.parse(answers.next()));
    }
}
BENCHMARK(ParseOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
