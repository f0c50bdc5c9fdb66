// Events of a run to the operator's command: the keys of [notify] and [status], the
// command as it is started (arguments, environment, its bound, its failures, a full
// queue), nightpick-headless over a simulated night with unsafe weather and a group that
// finishes, and a real MQTT broker on loopback as the notifier.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "RunnerPath.h"
#include "app/runner/Notifier.h"
#include "app/runner/WatchConfig.h"
#include "base/Errors.h"
#include "base/Process.h"
#include "host/ObservatoryConfig.h"
#include "support/Loopback.h"
#include "support/ProgramProcess.h"
#include "support/TestText.h"
#include "support/TestWorld.h"

namespace np {
namespace {

using test::errorOf;

using test::readFileBytes;
using test::splitLines;
using test::waitForText;
using test::writeFileBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

NotifyConfig notifyOf(const std::string& ini) { return readNotifyConfig(parseObservatoryConfig(ini, "o.ini"), "o.ini"); }
StatusConfig statusOf(const std::string& ini) { return readStatusConfig(parseObservatoryConfig(ini, "o.ini"), "o.ini"); }

TEST(WatchConfig, ReadsNotifyAndStatusWithTheirDefaultsAndNamesEveryBadKeyByLine) {
  const NotifyConfig none = notifyOf("[site]\nlatitude = 10\n");
  EXPECT_TRUE(none.command.empty());
  EXPECT_EQ(none.events.size(), kNightEventNames.size());
  EXPECT_EQ(none.timeout, 30.0);

  const NotifyConfig some = notifyOf(
      "[notify]\ncommand = printf '%s' \"$1\" ; a comment\nevents = stopped, Failure,list-finished\ntimeout = 2.5\n");
  EXPECT_EQ(some.command, "printf '%s' \"$1\"");
  EXPECT_THAT(some.events, ElementsAre(NightEventKind::Stopped, NightEventKind::Failure, NightEventKind::ListFinished));
  EXPECT_EQ(some.timeout, 2.5);
  EXPECT_EQ(notifyOf("[notify]\nevents = all\n").events.size(), kNightEventNames.size());

  EXPECT_FALSE(statusOf("[site]\n").enabled);
  const StatusConfig bare = statusOf("[status]\nlisten =\n");
  EXPECT_TRUE(bare.enabled);
  EXPECT_EQ(bare.address, "127.0.0.1");
  EXPECT_EQ(bare.port, 8624);
  const StatusConfig wide = statusOf("[status]\nlisten = 0.0.0.0:80\n");
  EXPECT_EQ(wide.address, "0.0.0.0");
  EXPECT_EQ(wide.port, 80);
  EXPECT_EQ(statusOf("[status]\nlisten = [::1]:9000\n").address, "::1");

  EXPECT_EQ(errorOf([] { notifyOf("[notify]\n\nevents = started, rain\n"); }),
            "o.ini line 3: key 'notify.events': 'rain' is not an event (all, or some of: started, night-summary, "
            "weather-unsafe, weather-safe, secured, not-secured, stopped, failure, group-finished, list-finished)");
  EXPECT_EQ(errorOf([] { notifyOf("[notify]\ncomand = x\n"); }), "o.ini line 2: unknown key 'notify.comand'");
  EXPECT_EQ(errorOf([] { notifyOf("[notify]\ncommand = x\ncommand = y\n"); }),
            "o.ini line 3: key 'notify.command' given twice");
  EXPECT_THAT(errorOf([] { notifyOf("[notify]\ntimeout = 0\n"); }), HasSubstr("line 2: key 'notify.timeout'"));
  EXPECT_THAT(errorOf([] { notifyOf("[notify]\ntimeout = 1,5\n"); }), HasSubstr("line 2: key 'notify.timeout'"));
  EXPECT_EQ(errorOf([] { statusOf("[status]\nport = 1\n"); }), "o.ini line 2: unknown key 'status.port'");
  for (const char* bad : {"8624", "localhost:", "localhost:0", "localhost:65536", ":80", "host:8o"})
    EXPECT_THAT(errorOf([&] { statusOf(std::string("[status]\nlisten = ") + bad + "\n"); }),
                HasSubstr("line 2: key 'status.listen'"))
        << bad;
  // The fresh file shows both sections, commented out, and reads as it is.
  EXPECT_FALSE(readStatusConfig(parseObservatoryConfig(defaultObservatoryIni(), "d"), "d").enabled);
  EXPECT_THAT(defaultObservatoryIni(), HasSubstr("; [notify]\n"));
}

TEST(WatchConfig, ADryRunFindsAMisspeltKeyBeforeTheServiceDoes) {
  test::TestWorld f("[notify]\ncommand = true\nevent = stopped\n");
  f.writeList({"M45 Pleiades\t03:47:24\t+24:07:00", "**** remaining=1"});
  const HeadlessResult r = f.runHeadless("2026-12-07T12:00:00Z", 1);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_THAT(r.error, HasSubstr("line 3: unknown key 'notify.event'"));
}

TEST(WatchConfig, OneWordIsTheProgramItselfAnythingElseAShellLine) {
  EXPECT_THAT(Notifier::commandArguments("/opt/notify-me", "stopped", "why"), ElementsAre("/opt/notify-me", "stopped", "why"));
  EXPECT_THAT(Notifier::commandArguments("echo \"$1\"", "stopped", "why; rm -rf /"),
              ElementsAre("/bin/sh", "-c", "echo \"$1\"", "nightpick", "stopped", "why; rm -rf /"));
}

TEST(RunCommandEnvironment, TheGivenVariablesAreAddedOrTakeThePlaceOfTheProgramsOwn) {
  test::TempDir dir;
  const std::string out = dir.file("env.txt");
  ::setenv("NIGHTPICK_TEXT", "old", 1);
  std::string why;
  EXPECT_EQ(runCommand({"/bin/sh", "-c", "printf '%s|%s|%s' \"$NIGHTPICK_TEXT\" \"$NIGHTPICK_EVENT\" \"$HOME\" > \"$1\"",
                        "sh", out},
                       10, why, {"NIGHTPICK_TEXT=new", "NIGHTPICK_EVENT=a=b"}),
            0)
      << why;
  ::unsetenv("NIGHTPICK_TEXT");
  EXPECT_EQ(readFileBytes(out), std::string("new|a=b|") + (std::getenv("HOME") ? std::getenv("HOME") : ""));
}

// A notifier whose command appends what it is given to a file.
class NotifierTest : public ::testing::Test {
 protected:
  NotifyConfig config(const std::string& command, double timeout = 10) {
    NotifyConfig c;
    c.command = command;
    for (std::size_t i = 0; i < kNightEventNames.size(); ++i) c.events.insert(static_cast<NightEventKind>(i));
    c.timeout = timeout;
    return c;
  }
  std::string file() const { return dir.file("events.txt"); }
  std::string script(const std::string& body) {
    const std::string path = dir.file("notify.sh");
    writeFileBytes(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }
  test::TempDir dir;
  std::ostringstream err;
};

TEST_F(NotifierTest, TheCommandGetsKindTextFolderAndTimeAsArgumentsAndVariables) {
  const std::string command = script("printf '%s|%s|%s|%s|%s|%s\\n' \"$1\" \"$2\" \"$NIGHTPICK_EVENT\" \"$NIGHTPICK_TEXT\" "
                                     "\"$NIGHTPICK_FOLDER\" \"$NIGHTPICK_TIME\" >> '" + file() + "'\n");
  {
    Notifier notifier(config(command), "/opt/nightpick", [] { return 1765245600.4; }, [] { return "Plans run: 2"; }, err);
    notifier.nightEvent(NightEventKind::Stopped, "the run was stopped; 'quoted' \"text\" $HOME");
    notifier.nightEvent(NightEventKind::NightSummary, "");
  }
  EXPECT_EQ(readFileBytes(file()),
            "stopped|the run was stopped; 'quoted' \"text\" $HOME|stopped|the run was stopped; 'quoted' \"text\" "
            "$HOME|/opt/nightpick|2025-12-09T02:00:00Z\n"
            "night-summary|Plans run: 2|night-summary|Plans run: 2|/opt/nightpick|2025-12-09T02:00:00Z\n");
  EXPECT_EQ(err.str(), "");
}

TEST_F(NotifierTest, OnlyTheChosenEventsGoOut) {
  NotifyConfig c = config("echo \"$1\" >> '" + file() + "'");
  c.events = {NightEventKind::Failure};
  {
    Notifier notifier(c, "/p", nullptr, nullptr, err);
    notifier.nightEvent(NightEventKind::Started, "a");
    notifier.nightEvent(NightEventKind::Failure, "b");
  }
  EXPECT_EQ(readFileBytes(file()), "failure\n");
}

TEST_F(NotifierTest, AHangingCommandIsEndedAtItsBoundAndTheNextEventsStillGoOutInOrder) {
  const auto begin = std::chrono::steady_clock::now();
  {
    Notifier notifier(config("if [ \"$1\" = started ]; then sleep 60; fi; echo \"$1\" >> '" + file() + "'", 0.5),
                      "/p", nullptr, nullptr, err);
    notifier.nightEvent(NightEventKind::Started, "");
    const auto returned = std::chrono::steady_clock::now();
    EXPECT_LT(returned - begin, std::chrono::milliseconds(400)) << "the run waited for the command";
    notifier.nightEvent(NightEventKind::GroupFinished, "");
    notifier.nightEvent(NightEventKind::Stopped, "");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
  EXPECT_EQ(readFileBytes(file()), "group-finished\nstopped\n");
  EXPECT_EQ(err.str(), "notify: the command failed for started: ended after 0.5 s (further failures are not repeated "
                       "until it works again)\nnotify: the command works again (group-finished sent)\n");
}

TEST_F(NotifierTest, AFailingCommandIsSaidOnceAndNeverStopsTheRun) {
  {
    Notifier notifier(config("exit 3"), "/p", nullptr, nullptr, err);
    for (int i = 0; i < 3; ++i) notifier.nightEvent(NightEventKind::WeatherUnsafe, "");
  }
  EXPECT_EQ(err.str(), "notify: the command failed for weather-unsafe: exit status 3 (further failures are not "
                       "repeated until it works again)\n");
  std::ostringstream missing;
  {
    Notifier notifier(config("/no/such/notifier"), "/p", nullptr, nullptr, missing);
    notifier.nightEvent(NightEventKind::Started, "");
  }
  EXPECT_THAT(missing.str(), HasSubstr("notify: the command failed for started: cannot start it: "));
}

TEST_F(NotifierTest, AFullQueueKeepsTheFirstEventsInOrderAndSaysWhatItDropped) {
  // The first command holds the queue until the test has filled it.
  const std::string gate = dir.file("gate");
  {
    Notifier notifier(config("while [ ! -e '" + gate + "' ]; do sleep 0.02; done; echo \"$2\" >> '" + file() + "'", 30),
                      "/p", nullptr, nullptr, err);
    const int sent = static_cast<int>(Notifier::kQueueBound) + 5;
    for (int i = 0; i < sent; ++i) notifier.nightEvent(NightEventKind::GroupFinished, std::to_string(i));
    writeFileBytes(gate, "");
  }
  const std::vector<std::string> lines = splitLines(readFileBytes(file()));
  // One was taken by the command at once (or not yet): 64 or 65 go out, in order.
  ASSERT_GE(lines.size(), Notifier::kQueueBound);
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], std::to_string(i));
  const std::vector<std::string> said = splitLines(err.str());
  EXPECT_EQ(said.size() + lines.size(), Notifier::kQueueBound + 5);
  for (const std::string& line : said) EXPECT_THAT(line, HasSubstr("notify: the queue is full (64 events): dropped group-finished: "));
  EXPECT_THAT(said.back(), testing::EndsWith(": 68"));
}


bool onPath(const std::string& program) {
  std::string why;
  return runCommand({"/bin/sh", "-c", "command -v \"$1\" >/dev/null", "sh", program}, 10, why) == 0;
}

TEST_F(NotifierTest, AnMqttBrokerOnLoopbackGetsEveryEventThroughMosquittoPub) {
  for (const char* program : {"/usr/sbin/mosquitto", "mosquitto_pub", "mosquitto_sub"})
    if (!onPath(program)) GTEST_SKIP() << program << " is not installed (scripts/setup.sh installs it)";
  const int port = test::freeLoopbackPortNow();
  ASSERT_GT(port, 0);
  const std::string conf = dir.file("mosquitto.conf");
  writeFileBytes(conf, "listener " + std::to_string(port) + " 127.0.0.1\nallow_anonymous true\npersistence false\n");
  test::ProgramProcess broker("/usr/sbin/mosquitto", {"-c", conf}, dir.file("broker.txt"));
  const std::string received = dir.file("received.txt");
  // The subscriber takes three messages and ends; it gives up after 20 seconds.
  std::unique_ptr<test::ProgramProcess> subscriber;
  for (int attempt = 0; attempt < 200 && !subscriber; ++attempt) {
    const bool up = test::acceptsOnLoopback(port);
    if (up) {
      subscriber = std::make_unique<test::ProgramProcess>(
          "/usr/bin/mosquitto_sub",
          std::vector<std::string>{"-h", "127.0.0.1", "-p", std::to_string(port), "-t", "nightpick/events", "-C", "3",
                                   "-W", "20"},
          received);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  ASSERT_TRUE(subscriber) << "the broker did not come up: " << readFileBytes(dir.file("broker.txt.err"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the subscription settles
  {
    Notifier notifier(config("mosquitto_pub -h 127.0.0.1 -p " + std::to_string(port) +
                             " -t nightpick/events -m \"$1: $2\""),
                      "/p", nullptr, nullptr, err);
    notifier.nightEvent(NightEventKind::Started, "Nightpick started at 2026-12-07 18:40:00");
    notifier.nightEvent(NightEventKind::WeatherUnsafe, "rain <b>&</b>");
    notifier.nightEvent(NightEventKind::Stopped, "the run was stopped");
  }
  EXPECT_EQ(subscriber->wait(std::chrono::seconds(30)), 0) << readFileBytes(received + ".err");
  EXPECT_EQ(readFileBytes(received), "started: Nightpick started at 2026-12-07 18:40:00\n"
                                     "weather-unsafe: rain <b>&</b>\nstopped: the run was stopped\n");
  EXPECT_EQ(err.str(), "");
  broker.signal(SIGTERM);
  EXPECT_EQ(broker.wait(std::chrono::seconds(10)), 0);
}

}  // namespace
}  // namespace np

namespace np {
namespace {

// nightpick-headless over a night of the simulated observatory at 6000 times real time:
// rain for an hour in the middle of the night, and a list of one group with one run left.
TEST(NotifyNight, EveryEventOfANightGoesOutOnceAndInOrder) {
  if (test::headlessPath().empty() || !std::filesystem::exists(test::headlessPath()))
    GTEST_SKIP() << "nightpick-headless is not built (GUI build off)";
  test::TestWorld f;
  const std::string kinds = f.dir.file("kinds.txt"), texts = f.dir.file("texts.txt");
  writeFileBytes(joinPath(f.hostDir(), "observatory.ini"),
                 "[clock]\nspeed = 6000\nstart = 2026-12-08T01:40:00Z\n"
                 "[weather]\nconnected = true\nunsafe = 2026-12-08T04:00:00Z/2026-12-08T05:00:00Z\n"
                 "[notify]\ncommand = echo \"$1\" >> '" + kinds + "' && printf '%s\\n--\\n' \"$2\" >> '" + texts + "'\n");
  writeFileBytes(f.configPath(),
                 "lastFocusJD,2461382.5\nfocusInterval,30000\nbaseDir,C:\\\nmaxElevation,90\nminAzimuth,0\n"
                 "maxAzimuth,360\nsunElev,-18\n");
  f.writeList({"#COUNT 1", "#INTERVAL 60", "M45 Pleiades\t03:47:24\t+24:07:00", "**** remaining=1"});
  const std::string out = f.dir.file("out.txt");
  test::ProgramProcess program(test::headlessPath(), {"--program-dir", f.programDir()}, out);
  ASSERT_TRUE(waitForText(kinds, "night-summary\n", std::chrono::seconds(90))) << readFileBytes(out + ".err");
  program.signal(SIGTERM);
  ASSERT_EQ(program.wait(std::chrono::seconds(60)), 0) << readFileBytes(out + ".err");
  EXPECT_THAT(splitLines(readFileBytes(kinds)),
              ElementsAre("started", "group-finished", "list-finished", "weather-unsafe", "weather-safe",
                          "night-summary", "stopped"));
  const std::string text = readFileBytes(texts);
  // The times are the observatory's clock as the run saw it, which real time moves on: at
  // 6,000 times real time a busy machine's tenth of a second is ten minutes of the night.
  EXPECT_THAT(text, testing::ContainsRegex("^Nightpick started at 2026-12-07 (18:[45]|19:[0-5])[0-9]:[0-9][0-9]\n--\n"));
  EXPECT_THAT(text, HasSubstr("M45 Pleiades: the group's last run is done\n--\n"));
  EXPECT_THAT(text, HasSubstr("The weather is unsafe at 2026-12-07 21:"));
  EXPECT_THAT(text, HasSubstr("The weather is safe again at 2026-12-07 22:"));
  EXPECT_THAT(text, HasSubstr("Plans run: 1 "));
  EXPECT_THAT(text, HasSubstr("the run was stopped\n--\n"));
  EXPECT_EQ(readFileBytes(out + ".err"), "");
}

}  // namespace
}  // namespace np
