// The query end to end: the real request layers and script engine against the test music
// service, with a recording window.
#include "service/song_search.h"


#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/com.h"
#include "service/direct_link.h"
#include "service/tests/fake_window.h"
#include "testservice/test_service.h"
#include "text/url_encode.h"

namespace {

Text gbk(const char* utf8) { return utf8ToAnsi(utf8); }

std::string musicServiceScript() {
    std::string script = TestService::defaultScript();
    return script.replace(script.rfind('/') + 1, std::string::npos, "music_service.py");
}

class SongSearch : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("CURL_CA_BUNDLE", TestService::caFile().c_str(), 1);
        service_ = std::make_unique<TestService>(musicServiceScript());
    }
    static void TearDownTestSuite() { service_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(service_ && service_->running());
        ASSERT_TRUE(service_->clear());
        setenv("QUORVO_HOST", ("127.0.0.1:" + std::to_string(service_->port())).c_str(), 1);
    }
    void TearDown() override { unsetenv("QUORVO_HOST"); }

    static TestService& service() { return *service_; }
    static Text link(int id) { return service().url("/media/" + std::to_string(id) + ".mp3"); }
    static std::vector<Arrival> searches() { return service().arrivals("/api/search/pc"); }

private:
    static inline std::unique_ptr<TestService> service_;
};

TEST_F(SongSearch, FillsOneRowPerSongInTheAnswersOrder) {
    FakeWindow window(gbk("演员"));
    searchSongs(window);

    const std::vector<FakeWindow::Row> expected = {
        {gbk("演员"), gbk("林知远"), gbk("晚风集"), "1001", link(1001)},
        {gbk("演员 (Live)"), gbk("林知远"), gbk("现场"), "1003", ".mp3"},  // its link is HTTPS: followed
    };
    EXPECT_EQ(window.rows(), expected);
    EXPECT_TRUE(window.messages().empty());

    const std::vector<std::string> calls = window.calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "delete") << "the list is emptied before the request goes out";
    EXPECT_EQ(calls[1], "read");

    auto arrived = searches();
    ASSERT_EQ(arrived.size(), 1u);
    const Arrival& search = arrived[0];
    EXPECT_FALSE(search.tls);
    EXPECT_EQ(search.requestLine, "POST /api/search/pc HTTP/1.1");
    EXPECT_EQ(search.body, "offset=0&total=true&limit=50&type=1&s=%E6%BC%94%E5%91%98");
    EXPECT_EQ(search.header("Cookie"), "os=pc; MUSIC_U=8170591746");
    EXPECT_EQ(search.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(search.header("Referer"), "http://127.0.0.1:" + std::to_string(service().port()) + "/api/search/pc");

    auto links = service().arrivals("/song/media/outer/url");
    ASSERT_EQ(links.size(), 2u);
    EXPECT_TRUE(links[0].tls);
    EXPECT_EQ(links[0].target(), "/song/media/outer/url?id=1001.mp3");
    EXPECT_EQ(links[1].target(), "/song/media/outer/url?id=1003.mp3");
    EXPECT_EQ(comInitializationDepth(), 0) << "the worker's COM calls balance";
}

TEST_F(SongSearch, EncodesEveryByteOfTheKeywordAsUtf8) {
    struct Case { Text keyword; std::string_view s; };
    const Case cases[] = {
        {gbk("演员"), "%E6%BC%94%E5%91%98"},
        {"ab 1", "%61%62%20%31"},
        {"", ""},
        {gbk("소원"), "%EC%86%8C%EC%9B%90"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.s);
        ASSERT_TRUE(service().clear());
        FakeWindow window(c.keyword);
        EXPECT_EQ(fetchSearchResults(window).empty(), false);
        auto arrived = searches();
        ASSERT_EQ(arrived.size(), 1u);
        EXPECT_EQ(arrived[0].body, "offset=0&total=true&limit=50&type=1&s=" + std::string(c.s));
    }
}

TEST_F(SongSearch, MissingFieldsGiveEmptyCellsAndTextsBeyondGbkSurvive) {
    struct Case { const char* keyword; FakeWindow::Row row; const char* why; };
    const Case cases[] = {
        {"无名曲", {gbk("无名曲"), "", "", "1007", link(1007)}, "no artist, no album"},
        {"Long Road", {"Long Road", "", "Road Songs", "1009", ".mp3"}, "a link to a page without .mp3"},
        {"소원", {gbk("소원"), gbk("김민수"), gbk("하루"), "1005", link(1005)}, "Korean"},
        {"Starry", {gbk("星空 🌌 Starry"), "Aurora Lane", gbk("Night 🎵"), "1006", link(1006)}, "emoji"},
        {"Noir", {gbk("Café \"Noir\" \\ Blues"), "Jo O'Neil", "Smoke & Mirrors", "1011", link(1011)}, "quotes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeWindow window(gbk(c.keyword));
        searchSongs(window);
        ASSERT_EQ(window.rows().size(), 1u);
        EXPECT_EQ(window.rows()[0], c.row);
    }
}

TEST_F(SongSearch, AnAnswerWithoutSongsGivesNoRowsAndNoMessage) {
    FakeWindow window("no such song");
    searchSongs(window);
    EXPECT_TRUE(window.rows().empty());
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(SongSearch, ReadsOnlyTheMembersItNeedsOfAnyAnswer) {
    ASSERT_TRUE(service().answer("POST", "/api/search/pc", httpAnswer("HTTP/1.1 200 OK", {"Content-Type: application/json"},
        R"({"code":200,"result":{"songCount":3,"songs":[)"
        R"({"id":11,"name":"A","extra":{"x":[1,2]},"artists":[{"name":"B"},{"name":"later"}],"album":{"name":"C"}},)"
        R"({"name":"D","id":12.0,"artists":[],"album":null},)"
        R"({"id":1234567890123,"name":"E\u00e9\n","artists":[{"name":"F"}],"album":{"name":"G","id":1}}]}})")));
    FakeWindow window("x");
    searchSongs(window);
    const std::vector<FakeWindow::Row> expected = {
        {"A", "B", "C", "11", ".mp3"},
        {"D", "", "", "12", ".mp3"},
        {gbk("Eé\n"), "F", "G", "1234567890123", ".mp3"},
    };
    EXPECT_EQ(window.rows(), expected);
    EXPECT_EQ(service().arrivals("/song/media/outer/url").size(), 3u);
}

TEST_F(SongSearch, AnswersThatAreNotPlainJsonAreNeverRun) {
    struct Case { std::string_view body; const char* why; };
    const Case cases[] = {
        {"while(1){}", "an endless loop"},
        {"(function(){while(true){}})()", "an immediately called function"},
        {R"({"result":{"songs":[]}};while(1){})", "JSON with a trailing script"},
        {R"("while(1){}")", "a string, whose content eval would run"},
        {"<html>error</html>", "an error page"},
        {"", "no body"},
        {R"({"result":{"songs":[{"name":"A")", "a truncated answer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_TRUE(service().answer("POST", "/api/search/pc", httpAnswer("HTTP/1.1 200 OK", {}, c.body)));
        FakeWindow window("x");
        searchSongs(window);
        EXPECT_TRUE(window.rows().empty());
        ASSERT_EQ(window.messages().size(), 1u);
        EXPECT_EQ(window.messages()[0].text, gbk("解析错误"));
        EXPECT_EQ(window.messages()[0].caption, gbk("Morvek提示："));
    }
}

TEST_F(SongSearch, LineSeparatorsInsideStringsStillLoad) {
    ASSERT_TRUE(service().answer("POST", "/api/search/pc", httpAnswer("HTTP/1.1 200 OK", {},
        "{\"result\":{\"songs\":[{\"name\":\"a\xE2\x80\xA8" "b\xE2\x80\xA9\",\"id\":5},"
        "{\"name\":\"\xE4\xB8\xAD\xE2\x80\xA8\",\"id\":6}]}}")));  // after a three-byte character
    FakeWindow window("x");
    searchSongs(window);
    ASSERT_EQ(window.rows().size(), 2u);
    EXPECT_EQ(window.rows()[0][0], gbk("a\u2028b\u2029"));
    EXPECT_EQ(window.rows()[1][0], gbk("中\u2028"));
}

TEST_F(SongSearch, AnUnreachableHostShowsTheParseErrorAndLeavesTheListEmpty) {
    setenv("QUORVO_HOST", ("127.0.0.1:" + std::to_string(TestService::closedPort())).c_str(), 1);
    FakeWindow window(gbk("演员"));
    searchSongs(window);
    EXPECT_TRUE(window.rows().empty());
    ASSERT_EQ(window.messages().size(), 1u);
    EXPECT_EQ(window.messages()[0].text, gbk("解析错误"));
}

TEST_F(SongSearch, OverlappingQueriesBothFinishWithWholeRows) {
    FakeWindow window(gbk("演员"));
    std::thread first([&] { searchSongs(window); });
    std::thread second([&] { searchSongs(window); });
    first.join();
    second.join();
    EXPECT_EQ(searches().size(), 2u);
    const FakeWindow::Row song1001 = {gbk("演员"), gbk("林知远"), gbk("晚风集"), "1001", link(1001)};
    const FakeWindow::Row song1003 = {gbk("演员 (Live)"), gbk("林知远"), gbk("现场"), "1003", ".mp3"};
    const auto rows = window.rows();
    EXPECT_GE(rows.size(), 2u);
    EXPECT_LE(rows.size(), 4u);
    for (const auto& row : rows) EXPECT_TRUE(row == song1001 || row == song1003) << row[0];
}

TEST(ResolveDirectLink, FailsToJustMp3) {
    setenv("QUORVO_HOST", ("127.0.0.1:" + std::to_string(TestService::closedPort())).c_str(), 1);
    EXPECT_EQ(resolveDirectLink("1001"), ".mp3");
    unsetenv("QUORVO_HOST");
}

}  // namespace
