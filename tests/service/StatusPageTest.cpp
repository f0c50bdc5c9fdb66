// The status page: what it shows and how (every text escaped), the server's answers to
// good, bad and hostile clients on loopback, a flood of connections while a simulated
// night runs (the night as it would be without it), and the page in Debian's chromium
// during a night of nightpick-headless, checked with /status.json against the run log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "app/runner/HeadlessRun.h"
#include "app/runner/StatusBoard.h"
#include "app/service/StatusServer.h"
#include "base/Process.h"
#include "support/Loopback.h"
#include "support/ProgramProcess.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

#ifndef NIGHTPICK_HEADLESS_EXE
#define NIGHTPICK_HEADLESS_EXE ""
#define NIGHTPICK_STATUS_SCREENSHOT ""
#endif

namespace np {
namespace {

using test::readFileBytes;
using test::splitLines;
using test::waitForText;
using test::writeFileBytes;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr char kScript[] = "<script>alert(1)</script>";

StatusSnapshot hostileSnapshot() {
  StatusSnapshot s;
  s.localTime = "2026-12-07 21:00:00";
  s.status = std::string("Running ACP plan for selected target: ") + kScript;
  s.running = true;
  s.underWay = StatusSnapshot::Plan{kScript, "2026-12-07 20:50:00", "", "", 3};
  s.plans = {{"M45 \"Pleiades\" & co", "2026-12-07 19:00:00", "2026-12-07 20:00:00", "done", 4}, *s.underWay};
  s.list = {{kScript, 2}, {"Caf\xe9 'n' \xff", 0}};
  s.groupsWithRunsLeft = 1;
  s.runsLeft = 2;
  s.weather = "safe";
  s.log = {"Running ACP plan for selected target:" + std::string(kScript), "a\ttab"};
  return s;
}

TEST(StatusPage, EveryTextFromTheListTheLogAndTheHostShowsAsText) {
  const std::string html = statusPageHtml(hostileSnapshot());
  EXPECT_THAT(html, Not(HasSubstr("<script")));
  EXPECT_THAT(html, Not(HasSubstr("\"Pleiades\"")));
  EXPECT_THAT(html, HasSubstr("<p class=\"status\" id=\"status\">Running ACP plan for selected target: "
                              "&lt;script&gt;alert(1)&lt;/script&gt;</p>"));
  EXPECT_THAT(html, HasSubstr("<p id=\"target\">&lt;script&gt;alert(1)&lt;/script&gt;, since 2026-12-07 20:50:00: "
                              "3 images so far</p>"));
  EXPECT_THAT(html, HasSubstr("<td>M45 &quot;Pleiades&quot; &amp; co</td>"));
  // Bytes of the computer's code page that are not UTF-8 show as replacement characters.
  EXPECT_THAT(html, HasSubstr("<td>Caf\xEF\xBF\xBD &#39;n&#39; \xEF\xBF\xBD</td><td>0</td>"));
  EXPECT_THAT(html, HasSubstr("<meta http-equiv=\"refresh\" content=\"15\">"));
  EXPECT_THAT(html, HasSubstr("1 with runs left (2 runs)"));

  const std::string json = statusJson(hostileSnapshot());
  EXPECT_THAT(json, Not(HasSubstr("<")));
  EXPECT_THAT(json, HasSubstr("\"status\":\"Running ACP plan for selected target: \\u003cscript\\u003ealert(1)"
                              "\\u003c/script\\u003e\""));
  EXPECT_THAT(json, HasSubstr("{\"target\":\"M45 \\\"Pleiades\\\" \\u0026 co\",\"start\":\"2026-12-07 19:00:00\","
                              "\"end\":\"2026-12-07 20:00:00\",\"endReason\":\"done\",\"images\":4}"));
  EXPECT_THAT(json, HasSubstr("\"end\":null,\"endReason\":null,\"images\":3}"));
  EXPECT_THAT(json, HasSubstr("{\"name\":\"Caf\xEF\xBF\xBD 'n' \xEF\xBF\xBD\",\"remaining\":0}"));
  EXPECT_THAT(json, HasSubstr("\"a\\ttab\"]"));
  EXPECT_THAT(json, HasSubstr("\"list\":{\"groups\":2,\"groupsWithRunsLeft\":1,\"runsLeft\":2,"));
  EXPECT_THAT(json, HasSubstr("\"picture\":null}"));
}

TEST(StatusPage, TheLogsLastLinesAreReadFromItsEnd) {
  test::TempDir dir;
  const std::string path = dir.file("Nightpick.log");
  EXPECT_TRUE(lastLines(path, 5).empty());
  writeFileBytes(path, "one\r\ntwo\r\n\r\nthree\r\n");
  EXPECT_THAT(lastLines(path, 5), testing::ElementsAre("one", "two", "", "three"));
  EXPECT_THAT(lastLines(path, 2), testing::ElementsAre("", "three"));
  std::string big;
  for (int i = 0; i < 5000; ++i) big += "line " + std::to_string(i) + " of a long run log, as it grows night after night\r\n";
  writeFileBytes(path, big);
  const std::vector<std::string> last = lastLines(path, 30);
  ASSERT_EQ(last.size(), 30u);
  EXPECT_EQ(last.front(), "line 4970 of a long run log, as it grows night after night");
  EXPECT_EQ(last.back(), "line 4999 of a long run log, as it grows night after night");
}

// One exchange on a fresh loopback connection: sends `request` and reads until the
// server closes or `limit` passes. Empty when it could not connect.
std::string talk(int port, const std::string& request, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{static_cast<time_t>(limit.count() / 1000), static_cast<suseconds_t>((limit.count() % 1000) * 1000)};
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  std::string answer;
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    std::size_t sent = 0;
    while (sent < request.size()) {
      const ssize_t n = ::send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buf[8192];
    while (std::chrono::steady_clock::now() < deadline) {
      const ssize_t n = ::recv(s, buf, sizeof buf, 0);
      if (n <= 0) break;
      answer.append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(s);
  return answer;
}

std::string get(int port, const std::string& path) {
  return talk(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

int statusOf(const std::string& answer) {
  std::smatch m;
  static const std::regex line("^HTTP/1\\.[01] ([0-9]{3}) ");
  return std::regex_search(answer, m, line) ? std::stoi(m[1]) : 0;
}

std::string bodyOf(const std::string& answer) {
  const std::size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// A board whose snapshot is the hostile one, served on a port of the system's choice.
class StatusServerTest : public ::testing::Test {
 protected:
  StatusServerTest() : board(sources()) { board.refresh(0); }
  StatusSources sources() {
    StatusSources s;
    s.localTime = [](double) { return std::string("2026-12-07 21:00:00"); };
    s.running = [] { return true; };
    s.weather = [] { return std::string("safe"); };
    s.list = [] { return std::vector<ReportGroup>{{kScript, 0, 0, 2}}; };
    return s;
  }
  StatusBoard board;
  StatusServer server{board, "127.0.0.1", 0};
};

TEST_F(StatusServerTest, ServesItsThreeResourcesWithHeadersThatKeepThePageInert) {
  const std::string page = get(server.port(), "/");
  ASSERT_EQ(statusOf(page), 200) << page;
  EXPECT_THAT(page, HasSubstr("Content-Type: text/html; charset=utf-8\r\n"));
  EXPECT_THAT(page, HasSubstr("Content-Security-Policy: default-src 'none'; img-src 'self'"));
  EXPECT_THAT(page, HasSubstr("X-Content-Type-Options: nosniff\r\n"));
  EXPECT_THAT(bodyOf(page), HasSubstr("<td>&lt;script&gt;alert(1)&lt;/script&gt;</td><td>2</td>"));
  EXPECT_THAT(bodyOf(page), Not(HasSubstr("<script")));
  const std::string json = get(server.port(), "/status.json");
  ASSERT_EQ(statusOf(json), 200);
  EXPECT_THAT(json, HasSubstr("Content-Type: application/json; charset=utf-8\r\n"));
  EXPECT_THAT(bodyOf(json), StartsWith("{\"time\":\"2026-12-07 21:00:00\","));
  EXPECT_EQ(statusOf(get(server.port(), "/night.png")), 404) << "no picture yet";
  // HEAD answers as GET without the body.
  const std::string head = talk(server.port(), "HEAD / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(statusOf(head), 200);
  EXPECT_EQ(bodyOf(head), "");
}

TEST_F(StatusServerTest, PathTricksMethodsAndMalformedRequestsGetAnErrorOfItsOwn) {
  test::TempDir dir;
  writeFileBytes(dir.file("config.ini"), "secret,42\n");
  for (const char* path : {"/../config.ini", "/%2e%2e/config.ini", "/%2e%2e%2fconfig.ini", "/..%2f..%2fetc%2fpasswd",
                           "//etc/passwd", "/status.json/../../config.ini", "/./", "/index.html", "/%00",
                           "/status.json%00.png", "/night.png/..", "/%252e%252e/config.ini"}) {
    const std::string answer = get(server.port(), path);
    SCOPED_TRACE(path);
    EXPECT_THAT(statusOf(answer), testing::AnyOf(400, 404));
    EXPECT_THAT(answer, Not(HasSubstr("secret")));
    EXPECT_THAT(answer, Not(HasSubstr("root:")));
  }
  // Nothing on it changes anything: other methods find nothing.
  for (const char* method : {"POST", "PUT", "DELETE", "PATCH"})
    EXPECT_THAT(statusOf(talk(server.port(), std::string(method) +
                                                     " / HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi")),
                testing::AnyOf(400, 404, 405))
        << method;
  // Requests that are not HTTP get an error, or the connection closed without a word.
  const std::string notHttp[] = {
      "GARBAGE\r\n\r\n",
      "GET\r\n\r\n",
      "GET / HTTP/9.9\r\n\r\n",
      std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + std::string(200, '\0'),
      "GET " + std::string(20000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n",
      "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(20000, 'b') + "\r\n\r\n",
  };
  // Odd headers on a GET of the page: the page or an error, never more.
  const std::string odd[] = {
      "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n",
      "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999999999999\r\n\r\n",
      "GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
      "GET / HTTP/1.1\r\nHost x no colon\r\n\r\n",
      "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 10000\r\nConnection: close\r\n\r\n" + std::string(10000, 'c'),
  };
  for (const auto& [requests, pageAllowed] : {std::pair{std::vector<std::string>(std::begin(notHttp), std::end(notHttp)), false},
                                              std::pair{std::vector<std::string>(std::begin(odd), std::end(odd)), true}}) {
    for (const std::string& request : requests) {
      SCOPED_TRACE(request.substr(0, 60));
      const auto begin = std::chrono::steady_clock::now();
      const std::string answer = talk(server.port(), request);
      EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(4)) << "the connection was held";
      if (answer.empty()) continue;
      const int status = statusOf(answer);
      if (!(pageAllowed && status == 200)) {
        EXPECT_THAT(status, testing::AllOf(testing::Ge(400), testing::Lt(600))) << answer;
      }
    }
  }
  // A client that sends half a request and stays is let go at the server's bound.
  const auto begin = std::chrono::steady_clock::now();
  talk(server.port(), "GET / HTTP/1.1\r\nHost:", std::chrono::seconds(10));
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(8));
  EXPECT_EQ(statusOf(get(server.port(), "/")), 200) << "the server still serves";
}

TEST(StatusServerStart, AnAddressItCannotListenOnIsAnErrorNamingIt) {
  StatusBoard board{StatusSources{}};
  StatusServer first(board, "127.0.0.1", 0);
  try {
    StatusServer second(board, "127.0.0.1", first.port());
    ADD_FAILURE() << "a taken port was accepted";
  } catch (const std::exception& e) {
    EXPECT_THAT(e.what(), HasSubstr("status.listen: cannot listen on 127.0.0.1:" + std::to_string(first.port())));
  }
}


// The sample list's text with CR LF line ends.
std::string sampleList() {
  std::string text = readFileBytes(std::string(NIGHTPICK_TEST_DATA) + "/../../docs/sample/targets.txt");
  return std::regex_replace(text, std::regex("\r?\n"), "\r\n");
}

struct Night {
  std::string runLog, list, statusLines;
  int exitCode = -1;
};

// A day and a night of the simulated observatory on the sample list, with a status page
// over it when `flood` is set and a flood of clients on that page while it runs.
Night nightWith(bool flood, int& answered, int& connections, int& heldAtOnce) {
  test::TestWorld f;
  f.writeListText(sampleList());
  std::atomic<bool> done{false};
  std::atomic<int> ok{0}, opened{0}, held{0};
  std::vector<std::thread> clients;
  std::atomic<int> port{0};
  HeadlessOptions options;
  options.start = "2026-12-07T12:00:00Z";
  options.hours = 24;
  if (flood) {
    options.serveStatus = [&](const StatusBoard& board) -> std::shared_ptr<void> {
      auto server = std::make_shared<StatusServer>(board, "127.0.0.1", 0);
      port = server->port();
      // A thousand connections at once, held open without a word, then let go.
      clients.emplace_back([&] {
        std::vector<int> sockets;
        for (int i = 0; i < 1000; ++i) {
          const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
          sockaddr_in a{};
          a.sin_family = AF_INET;
          a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
          a.sin_port = htons(static_cast<uint16_t>(port.load()));
          ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
          sockets.push_back(s);
          ++opened;
        }
        held = static_cast<int>(sockets.size());
        for (int i = 0; i < 50 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (int s : sockets) ::close(s);
      });
      // Beside them, clients that ask for the page, the data, junk or half a request.
      for (int t = 0; t < 4; ++t) {
        clients.emplace_back([&, t] {
          for (int i = 0; !done && i < 250; ++i) {
            ++opened;
            std::string answer;
            switch ((i + t) % 4) {
              case 0: answer = get(port, "/"); break;
              case 1: answer = get(port, "/status.json"); break;
              case 2: answer = talk(port, "\x01\x02junk\r\n\r\n", std::chrono::milliseconds(500)); break;
              default: answer = talk(port, "GET / HTTP/1.1\r\nHost:", std::chrono::milliseconds(200)); break;
            }
            if (statusOf(answer) == 200) ++ok;
          }
        });
      }
      return server;
    };
  }
  Night night;
  night.exitCode = f.runHeadless(options).exitCode;
  done = true;
  for (std::thread& c : clients) c.join();
  answered = ok;
  connections = opened;
  heldAtOnce = held;
  night.runLog = f.runLog();
  night.list = f.listText();
  night.statusLines = f.headlessOut;
  return night;
}

TEST(StatusFlood, AThousandConnectionsWhileANightRunsLeaveTheNightAsItWouldBeWithoutThem) {
  int answered = 0, connections = 0, held = 0;
  const Night quiet = nightWith(false, answered, connections, held);
  const auto begin = std::chrono::steady_clock::now();
  const Night flooded = nightWith(true, answered, connections, held);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  ASSERT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(flooded.exitCode, 0);
  EXPECT_THAT(quiet.runLog, HasSubstr("Running ACP plan for selected target:"));
  EXPECT_EQ(flooded.runLog, quiet.runLog);
  EXPECT_EQ(flooded.list, quiet.list);
  EXPECT_EQ(flooded.statusLines, quiet.statusLines);
  EXPECT_EQ(held, 1000);
  EXPECT_GE(connections, 1000);
  EXPECT_LT(seconds, 120);
  std::cout << "flood: " << connections << " connections (1000 held at once), " << answered
            << " pages answered, the night took " << seconds << " s\n";
}


// The value of a top-level or nested "key": in JSON text, as written (a string with its
// quotes, a number, null, true or false).
std::string jsonValue(const std::string& json, const std::string& key) {
  std::smatch m;
  const std::regex pattern("\"" + key + "\":(\"(?:[^\"\\\\]|\\\\.)*\"|-?[0-9]+|null|true|false)");
  return std::regex_search(json, m, pattern) ? m[1].str() : std::string("(missing)");
}

std::string quotedJson(const std::string& text) { return jsonString(text); }

// nightpick-headless at 300 times real time with the page on: a plan of three hours and
// a half (forty real seconds) under way when the browser loads the page.
TEST(StatusInBrowser, ChromiumShowsTheStatusLineAndTheTargetAndTheDataMatchesTheRunLog) {
  if (std::string(NIGHTPICK_HEADLESS_EXE).empty() || !std::filesystem::exists(NIGHTPICK_HEADLESS_EXE)) GTEST_SKIP() << "nightpick-headless is not built";
  std::string browser;
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (std::filesystem::exists(path)) browser = path;
  if (browser.empty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
  test::TestWorld f;
  const int port = test::freeLoopbackPortNow();
  writeFileBytes(joinPath(f.hostDir(), "observatory.ini"),
                 "[clock]\nspeed = 300\nstart = 2026-12-08T01:40:00Z\n[status]\nlisten = 127.0.0.1:" +
                     std::to_string(port) + "\n");
  writeFileBytes(f.configPath(), "lastFocusJD,2461382.5\nfocusInterval,30000\nbaseDir,C:\\\nmaxElevation,90\n"
                                 "minAzimuth,0\nmaxAzimuth,360\nsunElev,-18\n");
  f.writeList({"#COUNT 20", "#INTERVAL 600", "M45 Pleiades\t03:47:24\t+24:07:00", "**** remaining=5",
               std::string(kScript) + "\t05:34:32\t+22:00:52", "**** remaining=0"});
  const std::string out = f.dir.file("out.txt");
  test::ProgramProcess program(NIGHTPICK_HEADLESS_EXE, {"--program-dir", f.programDir()}, out);
  ASSERT_TRUE(waitForText(out, "Running ACP plan for selected target: M45 Pleiades\n", std::chrono::seconds(60)))
      << readFileBytes(out + ".err");
  ASSERT_TRUE(waitForText(f.acquisitionLogPath(), "\tEXPOSURE\t", std::chrono::seconds(30)));
  std::this_thread::sleep_for(std::chrono::seconds(11));  // the board's next look, with the images

  // The browser, with a home and a profile of its own, bounded in time.
  const std::string home = f.dir.file("browser-home");
  std::filesystem::create_directories(home);
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  const std::string dom = f.dir.file("dom.html");
  const std::string flags = "--headless --no-sandbox --disable-gpu --no-first-run --disable-extensions "
                            "--disable-dev-shm-usage --user-data-dir='" + home + "/profile' ";
  std::string why;
  ASSERT_EQ(runCommand({"/bin/sh", "-c", "HOME='" + home + "' '" + browser + "' " + flags + "--dump-dom '" + url +
                                              "' > '" + dom + "' 2>/dev/null"},
                       120, why),
            0)
      << why;
  const std::string rendered = readFileBytes(dom);
  EXPECT_THAT(rendered, HasSubstr("<p class=\"status\" id=\"status\">Running ACP plan for selected target: M45 "
                                  "Pleiades</p>"));
  EXPECT_THAT(rendered, testing::ContainsRegex("<p id=\"target\">M45 Pleiades, since 2026-12-07 1[89]:[0-9:]+: [1-9][0-9]* "
                                               "images? so far</p>"));
  EXPECT_THAT(rendered, HasSubstr("<td>&lt;script&gt;alert(1)&lt;/script&gt;</td><td>0</td>"));
  const std::string shot = NIGHTPICK_STATUS_SCREENSHOT;
  std::filesystem::remove(shot);
  EXPECT_EQ(runCommand({"/bin/sh", "-c", "cd '" + home + "' && HOME='" + home + "' '" + browser + "' " + flags +
                                             "--hide-scrollbars --window-size=480,1000 --screenshot='" + shot + "' '" +
                                             url + "' >/dev/null 2>&1"},
                       120, why),
            0)
      << why;
  EXPECT_TRUE(std::filesystem::exists(shot) && std::filesystem::file_size(shot) > 1000) << shot;

  // status.json, field by field, against the run log and the list as they stand.
  const std::string json = bodyOf(get(port, "/status.json"));
  const std::vector<std::string> log = splitLines(f.runLog());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(jsonValue(json, "status"), "\"Running ACP plan for selected target: M45 Pleiades\"");
  EXPECT_EQ(jsonValue(json, "running"), "true");
  EXPECT_EQ(jsonValue(json, "weather"), "\"not connected\"");
  EXPECT_THAT(json, HasSubstr("\"target\":{\"target\":\"M45 Pleiades\",\"start\":\"2026-12-07 1"));
  EXPECT_THAT(json, HasSubstr("\"plans\":[{\"target\":\"M45 Pleiades\""));
  EXPECT_THAT(json, HasSubstr("\"list\":{\"groups\":2,\"groupsWithRunsLeft\":1,\"runsLeft\":4,\"entries\":[{\"name\":"
                              "\"M45 Pleiades\",\"remaining\":4},{\"name\":" + quotedJson(kScript) + ",\"remaining\":0}]}"));
  EXPECT_EQ(log.back(), "Running ACP plan for selected target:M45 Pleiades");
  // The log's last lines, in order, end with the run log's last line.
  EXPECT_THAT(json, HasSubstr(quotedJson(log[log.size() - 2]) + "," + quotedJson(log.back()) + "],\"picture\":"));
  // The time is the run's: the status line's clock.
  EXPECT_THAT(jsonValue(json, "time"), testing::MatchesRegex("\"2026-12-07 [0-9:]+\""));

  program.signal(SIGTERM);
  EXPECT_EQ(program.wait(std::chrono::seconds(60)), 0) << readFileBytes(out + ".err");
  EXPECT_EQ(readFileBytes(out + ".err"), "");
  std::cout << "status page screenshot: " << shot << "\n";
}

// A port another program holds costs the page, never the night.
TEST(StatusInBrowser, APortThatIsTakenLeavesTheRunGoingWithoutThePage) {
  if (std::string(NIGHTPICK_HEADLESS_EXE).empty() || !std::filesystem::exists(NIGHTPICK_HEADLESS_EXE)) GTEST_SKIP();
  StatusBoard board{StatusSources{}};
  StatusServer holder(board, "127.0.0.1", 0);
  test::TestWorld f;
  writeFileBytes(joinPath(f.hostDir(), "observatory.ini"),
                 "[clock]\nspeed = 600\nstart = 2026-12-08T01:40:00Z\n[status]\nlisten = 127.0.0.1:" +
                     std::to_string(holder.port()) + "\n");
  f.writeList({"#COUNT 10", "#INTERVAL 600", "M45 Pleiades\t03:47:24\t+24:07:00", "**** remaining=5"});
  const std::string out = f.dir.file("out.txt");
  test::ProgramProcess program(NIGHTPICK_HEADLESS_EXE, {"--program-dir", f.programDir()}, out);
  ASSERT_TRUE(waitForText(out, "Running ACP plan for selected target: M45 Pleiades\n", std::chrono::seconds(60)))
      << readFileBytes(out + ".err");
  program.signal(SIGTERM);
  EXPECT_EQ(program.wait(std::chrono::seconds(60)), 0);
  EXPECT_EQ(readFileBytes(out + ".err"), "status: status.listen: cannot listen on 127.0.0.1:" +
                                             std::to_string(holder.port()) +
                                             " (the address is not this computer's, or the port is taken); the run "
                                             "goes on without the page\n");
}

}  // namespace
}  // namespace np
