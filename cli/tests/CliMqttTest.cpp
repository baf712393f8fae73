// listen --mqtt against a real broker (mosquitto) started on 127.0.0.1 by the
// test: calls published, the last one retained, Home Assistant's discovery,
// credentials from the environment or a file, a broker that comes late.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/tests/CliRun.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "protocol/MessageFormat.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::RunCli;
using test::RunShell;
using test::TRun;

const char* const kBroker = "/usr/sbin/mosquitto";

// A port nothing listens on now.
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    close(s);
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return ok;
}

// mosquitto on 127.0.0.1:port with one user ("caller", "line 1"), anonymous
// clients refused; stopped at the end.
class TBroker {
  public:
    TBroker(const test::TTempDir& dir, int port) : port_(port) {
        // a broker started as root reads its files as the user mosquitto
        std::filesystem::permissions(dir.Path(), std::filesystem::perms(0755));
        const auto passwords = dir / "passwords";
        RunShell("mosquitto_passwd -b -c " + passwords.string() + " caller 'line 1'");
        test::WriteFile(dir / "broker.conf", "listener " + std::to_string(port) +
                                                 " 127.0.0.1\nallow_anonymous false\n"
                                                 "password_file " +
                                                 passwords.string() + "\npersistence false\n");
        std::string conf = (dir / "broker.conf").string();
        std::string name = kBroker, dashC = "-c";
        char* argv[] = {name.data(), dashC.data(), conf.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn(&pid_, kBroker, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        for (int i = 0; i < 300 && !Accepts(port) && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~TBroker() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    // The retained message of a topic ("" when there is none after 30 s).
    std::string Retained(const std::string& topic) const {
        return RunShell("mosquitto_sub -h 127.0.0.1 -p " + std::to_string(port_) +
                        " -u caller -P 'line 1' -C 1 -W 30 -t '" + topic + "'")
            .Out;
    }

  private:
    int port_;
    pid_t pid_ = -1;
};

const std::string kCredentials = "RINGLARK_MQTT_USER=caller RINGLARK_MQTT_PASSWORD='line 1' ";

std::string CallsWav(const test::TTempDir& dir) {
    std::vector<float> all;
    for (const Bytes& message : {FrameMessage(0x04, "12071015P"), ExampleMdmfMessage()}) {
        TFskSynth synth;
        const auto s = ImageSamples(SynthesiseImage(synth, message, TSignalling::OnHook));
        all.insert(all.end(), s.begin(), s.end());
        all.insert(all.end(), 22050, 0.0f);
    }
    const std::string wav = (dir / "calls.wav").string();
    test::WriteFile(wav, SamplesImage(all, 44100));
    return wav;
}

TEST(CliMqtt, PublishesEachCallAndRetainsTheLastWithDiscovery) {
    if (!std::filesystem::exists(kBroker)) {
        GTEST_SKIP() << "mosquitto is not installed (scripts/deps.sh installs it)";
    }
    test::TTempDir dir;
    const int port = FreePort();
    TBroker broker(dir, port);
    const std::string wav = CallsWav(dir);
    const std::string url = " --mqtt mqtt://127.0.0.1:" + std::to_string(port);
    // a subscriber that has surely subscribed: it has the retained probe
    FILE* live = popen(
        ("mosquitto_pub -h 127.0.0.1 -p " + std::to_string(port) +
         " -u caller -P 'line 1' -r -t probe -m ready && mosquitto_sub -h "
         "127.0.0.1 -p " +
         std::to_string(port) + " -u caller -P 'line 1' -v -C 3 -W 60 -t probe -t ringlark/call")
            .c_str(),
        "r");
    ASSERT_NE(live, nullptr);
    char line[4096];
    ASSERT_NE(fgets(line, sizeof line, live), nullptr);
    EXPECT_STREQ(line, "probe ready\n");

    const TRun run = RunShell(kCredentials + "CLI listen --input " + wav + url);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_EQ(run.Out, RunCli("listen --input " + wav).Out);  // the output is unchanged

    std::string calls;
    while (fgets(line, sizeof line, live) != nullptr) {
        calls += line;
    }
    pclose(live);
    const auto first = calls.find("ringlark/call {");
    ASSERT_NE(first, std::string::npos) << calls;
    const auto second = calls.find("\nringlark/call {", first);
    ASSERT_NE(second, std::string::npos) << calls;
    const auto sdmf = nlohmann::json::parse(calls.substr(first + 14, second - first - 14));
    EXPECT_EQ(sdmf["kind"], "SDMF");
    EXPECT_EQ(sdmf["number"], "");
    EXPECT_EQ(sdmf["number_absent"], "private");
    EXPECT_EQ(sdmf["input"], wav);

    const auto last = nlohmann::json::parse(broker.Retained("ringlark/last_call"));
    EXPECT_EQ(last["kind"], "MDMF");
    EXPECT_EQ(last["number"], "8005551212");
    EXPECT_EQ(last["name"], "JOHN DOE");
    EXPECT_EQ(last["message_time"], "12-07 09:30");
    EXPECT_EQ(broker.Retained("ringlark/status"), "offline\n");
    const auto config = nlohmann::json::parse(
        broker.Retained("homeassistant/sensor/ringlarkringlark/last_caller_number/config"));
    EXPECT_EQ(config["state_topic"], "ringlark/last_call");
    EXPECT_EQ(config["value_template"], "{{ value_json.number }}");
    EXPECT_EQ(config["availability_topic"], "ringlark/status");
    EXPECT_EQ(config["unique_id"], "ringlarkringlark_last_caller_number");

    // credentials from a file, another prefix, no discovery
    test::WriteFile(dir / "creds", "caller\r\nline 1\r\n");
    const TRun file = RunCli("listen --input " + wav + url + " --mqtt-topic home/phone" +
                             " --no-mqtt-discovery --mqtt-credentials " + (dir / "creds").string());
    EXPECT_EQ(file.Status, 0) << file.Err;
    EXPECT_EQ(nlohmann::json::parse(broker.Retained("home/phone/last_call"))["number"],
              "8005551212");
}

TEST(CliMqtt, ABrokerThatComesLateGetsTheCallsThatWaited) {
    if (!std::filesystem::exists(kBroker)) {
        GTEST_SKIP() << "mosquitto is not installed (scripts/deps.sh installs it)";
    }
    test::TTempDir dir;
    const int port = FreePort();
    setenv("RINGLARK_MQTT_USER", "caller", 1);
    setenv("RINGLARK_MQTT_PASSWORD", "line 1", 1);
    test::TChild child = test::Spawn({"listen", "--input", "-", "--raw", "u8", "--rate", "44100",
                                      "--mqtt", "mqtt://127.0.0.1:" + std::to_string(port)});
    unsetenv("RINGLARK_MQTT_USER");
    unsetenv("RINGLARK_MQTT_PASSWORD");
    ASSERT_GT(child.Pid, 0);
    TFskSynth synth;
    const Bytes image = SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::OnHook);
    const Bytes raw = image.substr(44) + Bytes(4410, '\x80');
    ASSERT_EQ(write(child.In, raw.data(), raw.size()), static_cast<ssize_t>(raw.size()));
    EXPECT_NE(test::ReadLine(child.Out).find("8005551212"), std::string::npos);
    // the call is decoded and waits; now the broker starts
    TBroker broker(dir, port);
    const std::string last = broker.Retained("ringlark/last_call");
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(nlohmann::json::parse(last)["number"], "8005551212");
    close(child.In);
    int status = 0;
    waitpid(child.Pid, &status, 0);
    close(child.Out);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CliMqtt, WrongCredentialsAreReportedAndListeningGoesOn) {
    if (!std::filesystem::exists(kBroker)) {
        GTEST_SKIP() << "mosquitto is not installed (scripts/deps.sh installs it)";
    }
    test::TTempDir dir;
    const int port = FreePort();
    TBroker broker(dir, port);
    TFskSynth synth;
    const std::string wav = (dir / "mdmf.wav").string();
    test::WriteFile(wav, SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::OnHook));
    const TRun run =
        RunShell("RINGLARK_MQTT_USER=caller RINGLARK_MQTT_PASSWORD=wrong CLI listen --input " +
                 wav + " --mqtt mqtt://127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, RunCli("listen --input " + wav).Out);
    EXPECT_EQ(run.Err,
              "ringlark-cli: MQTT: the broker refused the connection: Connection Refused: not "
              "authorised.\nringlark-cli: MQTT: not every call reached the broker\n");
}

TEST(CliMqtt, CredentialsInTheAddressAreAUsageError) {
    test::TTempDir dir;
    const TRun run = RunCli("listen --input x.wav --mqtt mqtt://u:p@127.0.0.1 --log " +
                            (dir / "log.sqlite").string());
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err,
              "ringlark-cli: --mqtt: give the MQTT user and password in a file "
              "(--mqtt-credentials) or in RINGLARK_MQTT_USER and RINGLARK_MQTT_PASSWORD, not in "
              "the address\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "log.sqlite"));
}

}  // namespace
}  // namespace ringlark
