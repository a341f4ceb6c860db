// The HTTP download against a scripted server on 127.0.0.1: the request it sends, the header
// split, what reaches the file and the text, and the failures with their printed lines.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "runtime/net/http.h"
#include "runtime/net/http_filter.h"
#include "runtime/net/net_service.h"
#include "runtime/net/socket_table.h"
#include "support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(20);

rt::SocketTable& sockets() { return rt::net_service().sockets(); }

// One connection: reads the request, sends the pieces, then closes (or, with hold_open, waits
// until the client closes). Each piece after the first goes out only once the client has read
// everything before it, so every piece arrives as a chunk of its own.
class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::string> pieces, bool hold_open = false)
        : pieces_(std::move(pieces)), hold_open_(hold_open) {
        listener_ = sockets().listen(0);
        port_ = sockets().local_port(listener_);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedServer() {
        if (thread_.joinable()) thread_.join();
        sockets().close(listener_);
    }

    int32_t port() const { return port_; }
    // Called from the download's chunk hook.
    void client_read(size_t bytes) { client_read_ += bytes; }
    size_t client_total() const { return client_read_; }
    // After finish(): the request as received, and what went wrong on the server's side.
    void finish() { thread_.join(); }
    const std::string& request() const { return request_; }
    const std::string& fault() const { return fault_; }

private:
    // Runs on the server thread; it shares only client_read_ (atomic) with the test.
    void serve() {
        const auto deadline = Clock::now() + kPatience;
        int32_t connection = -1;
        while (connection < 0 && Clock::now() < deadline) {
            uint8_t readable = 0;
            sockets().wait_readable(&listener_, 1, 100, &readable);
            connection = sockets().accept(listener_, nullptr);
        }
        if (connection < 0) {
            fault_ = "no client";
            return;
        }
        char buffer[2048];
        while (request_.find("\r\n\r\n") == std::string::npos) {
            const int32_t got =
                wait_for_data(connection, deadline) ? sockets().receive(connection, buffer, sizeof buffer) : -1;
            if (got == rt::kReceiveClosed || got == rt::kReceiveError) {
                fault_ = "no request";
                sockets().close(connection);
                return;
            }
            if (got > 0) request_.append(buffer, static_cast<size_t>(got));
        }
        size_t sent = 0;
        for (const std::string& piece : pieces_) {
            while (client_read_ < sent && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (sockets().send(connection, piece.data(), piece.size()) != static_cast<int64_t>(piece.size())) {
                fault_ = "send failed";
            }
            sent += piece.size();
        }
        while (hold_open_ && wait_for_data(connection, deadline)) {
            const int32_t got = sockets().receive(connection, buffer, sizeof buffer);
            if (got == rt::kReceiveClosed || got == rt::kReceiveError) break;
        }
        sockets().close(connection);
    }

    bool wait_for_data(int32_t connection, Clock::time_point deadline) {
        while (Clock::now() < deadline) {
            uint8_t readable = 0;
            if (sockets().wait_readable(&connection, 1, 100, &readable) != 0) return true;
        }
        return false;
    }

    std::vector<std::string> pieces_;
    bool hold_open_;
    int32_t listener_ = -1;
    int32_t port_ = -1;
    std::atomic<size_t> client_read_{0};
    std::string request_;
    std::string fault_;
    std::thread thread_;
};

// The network stays started for the whole test, as a game that uses sockets would keep it: the
// download's own stop must not close the server's sockets.
class HttpDownload : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(sockets().start(), 1); }
    void TearDown() override { sockets().stop(); }
    rt_test::TempDir dir_;
};

std::string header_of_size(size_t size) {
    std::string header = "HTTP/1.0 200 OK\r\nX-Pad: ";
    header.append(size - header.size() - 4, 'p');
    return header + "\r\n\r\n";
}

TEST(HttpHeaderFilter, FindsTheFirstEmptyLineAcrossAnySplit) {
    struct Case {
        std::string stream;
        std::string body;  // empty with ends false: the header never ended
        bool ends;
    };
    const Case cases[] = {
        {"HTTP/1.0 200 OK\r\nA: b\r\n\r\nhello\r\n\r\nmore", "hello\r\n\r\nmore", true},
        {"HTTP/1.0 200 OK\nA: b\n\nhello", "hello", true},
        {"S\n\r\r\n\nx", "\nx", true},        // carriage returns between the line feeds are ignored
        {"S\n \nA\n\r\nbody", "body", true},  // a blank is not an empty line
        {"\n\n", "", true},
        {"HTTP/1.0 200 OK\r\nA: b\r\n", "", false},
    };
    for (const Case& c : cases) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(c.stream.data());
        for (size_t split = 0; split <= c.stream.size(); ++split) {
            rt::HttpHeaderFilter filter;
            std::string body;
            size_t from = filter.feed(bytes, split);
            body.append(c.stream, from, split - from);
            from = filter.feed(bytes + split, c.stream.size() - split);
            body.append(c.stream, split + from, std::string::npos);
            EXPECT_EQ(body, c.body) << c.stream << " split at " << split;
            EXPECT_EQ(filter.done(), c.ends) << c.stream;
        }
    }
}

TEST_F(HttpDownload, DeliversTheBodyToTheFileAndTheText) {
    const std::string header = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        int32_t max_length;
        std::string text;
        std::string file;
    };
    const Case cases[] = {
        {"crlf header", {header + "hello"}, 10, "hello", "hello"},
        {"bare line feeds", {"HTTP/1.0 200 OK\nServer: x\n\nhello"}, 10, "hello", "hello"},
        {"header fills a whole chunk", {header_of_size(1023), "hello"}, 10, "hello", "hello"},
        {"header split between chunks", {"HTTP/1.0 200 OK\r\n\r", "\nhel", "lo"}, 10, "hello", "hello"},
        {"piece too long for the text", {header + "hello"}, 3, "", "hello"},
        {"piece exactly as long as the text", {header + "hello"}, 5, "hello", "hello"},
        {"only pieces that fit are kept", {header, "abcd", "efgh", "ij"}, 6, "abcdij", "abcdefghij"},
        {"text ends at a zero byte", {header + std::string("ab\0cd", 5)}, 10, "ab", std::string("ab\0cd", 5)},
        {"error page is a body", {"HTTP/1.0 404 Not Found\r\n\r\nmissing"}, 10, "missing", "missing"},
        {"no body", {header}, 10, "", ""},
        {"negative limit", {header, "a"}, -5, "", "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir_.file("out.bin");
        rt_test::write_file(file, "an older, longer content");
        ScriptedServer server(c.pieces);
        rt::HttpTargets targets;
        targets.file_name = file.c_str();
        targets.want_text = true;
        targets.max_length = c.max_length;
        std::vector<size_t> chunks;
        targets.on_chunk = [&](size_t size) {
            chunks.push_back(size);
            server.client_read(size);
        };
        testing::internal::CaptureStdout();
        const bool ok = rt::http_download(sockets(), "127.0.0.1", "/", server.port(), 5000, targets);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "reading\n");
        server.finish();
        EXPECT_EQ(server.fault(), "");
        EXPECT_TRUE(ok);
        EXPECT_EQ(targets.text, c.text);
        EXPECT_EQ(rt_test::read_file(file), c.file);
        // The pieces really arrived one chunk each.
        std::vector<size_t> sizes;
        for (const std::string& piece : c.pieces) sizes.push_back(piece.size());
        EXPECT_EQ(chunks, sizes);
    }
}

TEST_F(HttpDownload, CommandsSendTheRequestAndReturnTheBody) {
    const std::string file = dir_.file("page.txt");
    {
        ScriptedServer server({"HTTP/1.0 200 OK\r\nA: b\r\n\r\nhello"});
        testing::internal::CaptureStdout();
        EXPECT_EQ(http_download_file("127.0.0.1", "/dir/page.txt?x=1", server.port(), file.c_str(), 0), 1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "reading\n");
        server.finish();
        EXPECT_EQ(server.request(),
                  "GET /dir/page.txt?x=1 HTTP/1.0\r\nHost:127.0.0.1\r\nAccept: */*\r\nUser-Agent: Vornic\r\n\r\n");
        EXPECT_EQ(rt_test::read_file(file), "hello");
    }
    {
        ScriptedServer server({"HTTP/1.0 200 OK\r\n\r\nhello"});
        testing::internal::CaptureStdout();
        const RtString text = http_download_text("127.0.0.1", "/", server.port(), 10, 1000);
        testing::internal::GetCapturedStdout();
        server.finish();
        EXPECT_STREQ(text.c_str(), "hello");
        EXPECT_EQ(text.length(), 5u);
    }
}

TEST_F(HttpDownload, FailuresPrintTheirLineAndReturnNothing) {
    // Nothing connects to this listener unless a download really reached the network.
    const int32_t listener = sockets().listen(0);
    const int32_t port = sockets().local_port(listener);
    const int32_t closed = sockets().listen(0);
    const int32_t refused_port = sockets().local_port(closed);
    sockets().close(closed);
    const std::string folder = dir_.path();
    struct Case {
        const char* host;
        int32_t port;
        std::string file;
        const char* printed;
    };
    const Case cases[] = {
        {"127.0.0.1", port, "mem://a.b", "can't open local file for writing\n"},
        {"127.0.0.1", port, folder, "can't open local file for writing\n"},
        {"nowhere.invalid", port, dir_.file("a.txt"), "no netAddress\n"},
        {"127.0.0.1", refused_port, dir_.file("b.txt"), "no connect\n"},
        {"127.0.0.1", 70000, dir_.file("c.txt"), "no connect\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        testing::internal::CaptureStdout();
        EXPECT_EQ(http_download_file(c.host, "/", c.port, c.file.c_str(), 2000), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    }
    testing::internal::CaptureStdout();
    EXPECT_STREQ(http_download_text("nowhere.invalid", "/", port, 100, 2000).c_str(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "no netAddress\n");

    uint8_t readable = 1;
    EXPECT_EQ(sockets().wait_readable(&listener, 1, 0, &readable), 0);
    sockets().close(listener);
}

TEST_F(HttpDownload, GivesUpOnAServerThatFallsSilentAndKeepsThePartialFile) {
    const std::string file = dir_.file("partial.txt");
    ScriptedServer server({"HTTP/1.0 200 OK\r\n\r\nhel"}, /*hold_open=*/true);
    rt::HttpTargets targets;
    targets.file_name = file.c_str();
    targets.want_text = true;
    targets.max_length = 10;
    targets.on_chunk = [&](size_t size) { server.client_read(size); };
    testing::internal::CaptureStdout();
    EXPECT_FALSE(rt::http_download(sockets(), "127.0.0.1", "/", server.port(), 5000, targets, 1500));
    testing::internal::GetCapturedStdout();
    server.finish();
    EXPECT_EQ(server.fault(), "");
    // On a machine slow enough that nothing came within the limit, nothing is kept.
    const std::string expected = server.client_total() > 0 ? "hel" : "";
    EXPECT_EQ(rt_test::read_file(file), expected);
    EXPECT_EQ(targets.text, expected);
}

}  // namespace
