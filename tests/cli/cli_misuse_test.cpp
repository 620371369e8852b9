// kstbellctl used as an operator or an attacker might: files that are not what they claim, values
// with control characters, snapshots that are malformed or lenient, huge device lists,
// interrupts. Each case must be refused or handled before it harms a horn.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_harness.h"
#include "device/settings.h"

namespace kstbell::cli::test {
namespace {

std::string Snapshot(const std::string& settings) {
    return R"({"format":"kstbellctl-config/1","settings":)" + settings + "}";
}

namespace fs = std::filesystem;

TEST(CliMisuse, ASnapshotIsWrittenToANewFileNeverThroughALinkOrAnotherOwnersFile) {
    THorns horns("127.0.98.31", 1);
    const std::string key = TempFile("save.key", "horn-key-1234");
    ASSERT_EQ(RunCli(Join(horns.Target(), {"--yes", "set", "ap", "Horn", "--key-file", key})).Code,
              0);
    ASSERT_TRUE(horns.FileIs(0, kApSsidFile, "Horn"));
    horns.Site.Restart(0);  // a WPA access point, whose key the snapshot then holds
    enum class TLeftBefore { PartLink, TargetLink, PartOfAnother };
    for (TLeftBefore before :
         {TLeftBefore::PartLink, TLeftBefore::TargetLink, TLeftBefore::PartOfAnother}) {
        SCOPED_TRACE(static_cast<int>(before));
        const fs::path dir = fs::path(TempFile("shared/x", "")).parent_path();
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path victim = dir / "victim";
        std::ofstream(victim) << "precious";
        const fs::path snap = dir / "snap.json";
        const fs::path part = dir / "snap.json.part";
        switch (before) {
            case TLeftBefore::PartLink:
                fs::create_symlink(victim, part);
                break;
            case TLeftBefore::TargetLink:
                fs::create_symlink(victim, snap);
                break;
            case TLeftBefore::PartOfAnother:
                std::ofstream(part) << "{}";
                fs::permissions(part, fs::perms(0666));
                if (::getuid() == 0) {
                    ASSERT_EQ(::chown(part.c_str(), 65534, 65534), 0);
                }
                break;
        }
        const auto r = RunCli(Join(
            horns.Target(), {"--json", "config", "save", snap.string(), "--ap-key-file", key}));
        ASSERT_EQ(r.Code, 0) << r.Out << r.Err;
        std::ifstream victimText(victim);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victimText), {}), "precious");
        struct stat st {};
        ASSERT_EQ(::lstat(snap.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_uid, ::getuid());
        // Nothing else is left in the folder.
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
            ++files;
        EXPECT_EQ(files, before == TLeftBefore::TargetLink ? 2u : 3u);
    }
}

TEST(CliMisuse, AnImageThatIsEmptyOrNoFileIsRefusedBeforeAnyHornIsContacted) {
    const std::string empty = TempFile("images/empty.bin", "");
    const std::string folder = empty.substr(0, empty.rfind('/'));
    const std::pair<std::string, const char*> cases[] = {
        {empty, "is empty"},
        {"/dev/zero", "is not a regular file, not a file"},
        {folder, "is a folder, not a file"},
    };
    THorns horns("127.0.98.41", 1);
    for (const auto& [image, reason] : cases) {
        SCOPED_TRACE(image);
        const auto r = RunCli(Join(horns.Target(), {"--json", "--yes", "firmware", image}));
        EXPECT_EQ(r.Code, 2) << r.Out << r.Err;
        EXPECT_TRUE(r.Out.empty()) << r.Out;
        EXPECT_NE(r.Err.find(image + " " + reason), std::string::npos) << r.Err;
    }
    EXPECT_TRUE(horns.Site.Requests(0).empty());
    EXPECT_EQ(horns.Site.Snapshot(0).RestartCount, 0);
}

TEST(CliMisuse, DeviceListsAreBoundedAndTheirFaultsToldOnce) {
    std::string ranges;
    for (int n = 0; n < 255; ++n)
        ranges += "127." + std::to_string(n) + ".0.0/16\n";
    const std::string list = TempFile("lists/ranges.txt", ranges);
    const std::string folder = list.substr(0, list.rfind('/'));
    const std::string nul = TempFile("lists/nul.txt", std::string("127.0.0.1\n127.0\0.0.2\n", 21));
    const std::string huge = TempFile("lists/huge.txt", std::string(5 << 20, '#'));
    struct Case {
        std::vector<std::string> args;
        const char* told;
    };
    const Case cases[] = {
        {{"--devices", list}, "makes more than 65536 devices; --max-devices N raises"},
        {{"-d", "127.1.0.0/16", "-d", "127.2.0.0/16"}, "\"127.2.0.0/16\" makes more than 65536"},
        {{"--max-devices", "70000", "--devices", list}, "makes more than 70000 devices"},
        {{"--devices", "/dev/zero"}, "larger than 4 MiB"},
        {{"--devices", huge}, "larger than 4 MiB"},
        {{"--devices", folder}, "is a folder"},
        {{"--devices", nul}, ":2: \"127.0\\x00.0.2\" is not an IPv4 address"},
        {{"scan", "127.1.0.0/16", "127.2.0.0/16"}, "makes more than 65536 devices"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.told);
        auto args = c.args;
        if (args.front() != "scan") args.push_back("status");
        const auto r = RunCli(args);
        EXPECT_EQ(r.Code, 2) << r.Err;
        EXPECT_NE(r.Err.find(c.told), std::string::npos) << r.Err;
        EXPECT_EQ(r.Err.find('\0'), std::string::npos);
        EXPECT_LT(r.Err.size(), 400u) << "told once";
    }
    // Raised, a value that breaks a rule is still told once for all the devices.
    const auto r = RunCli({"--max-devices", "131072", "-d", "127.1.0.0/16", "-d", "127.2.0.0/16",
                           "--yes", "set", "location", std::string(40, 'x')});
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Err,
              "kstbellctl: 127.1.0.1 and 131067 more devices: invalid_input: the location "
              "must be 1 to 31 bytes\n");
}

TEST(CliMisuse, TheReadmesSimulatedHornKeepsEveryWriteAcrossRuns) {
    const fs::path dir = fs::path(TempFile("horn/x", "")).parent_path();
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string snapshot = (dir / "snapshot.json").string();
    const std::vector<std::string> sim{"--simulate", "--sim-state", dir.string(), "--json"};
    ASSERT_EQ(RunCli(Join(sim, {"config", "save", snapshot})).Code, 0);
    ASSERT_EQ(RunCli(Join(sim, {"--yes", "set", "location", "Hall 2"})).Code, 0);
    ASSERT_EQ(RunCli(Join(sim, {"--yes", "reboot", "--wait"})).Code, 0);
    auto r = RunCli(Join(sim, {"config", "diff", snapshot}));
    EXPECT_EQ(r.Code, 1) << r.Out << r.Err;
    const auto differences = r.Lines().at(0)["result"]["differences"];
    ASSERT_EQ(differences.size(), 1u) << r.Out;
    EXPECT_EQ(differences[0]["device"], "Hall 2");
    EXPECT_EQ(differences[0]["file"], "Office");
    r = RunCli(Join(sim, {"--yes", "config", "apply", snapshot, "--reboot", "--wait"}));
    EXPECT_EQ(r.Code, 0) << r.Out << r.Err;
    EXPECT_EQ(RunCli(Join(sim, {"config", "diff", snapshot})).Code, 0);
}

TEST(CliMisuse, ValuesWaitingForARestartAreToldAndEveryApplyCanRestoreTheFile) {
    THorns horns("127.0.98.51", 1);
    const auto cli = Join(horns.Target(), {"--json", "--yes"});
    TRunEnv env = TestEnv();
    env.StateDir = fs::path(TempFile("state/x", "")).parent_path().string();
    fs::remove_all(env.StateDir);
    const std::string base = TempFile("pending/base.json", "");
    ASSERT_EQ(RunCli(Join(cli, {"config", "save", base}), env).Code, 0);

    // Written but not in force: the horn reports "Office" until it restarts.
    ASSERT_EQ(RunCli(Join(cli, {"set", "location", "Elsewhere"}), env).Code, 0);
    auto r = RunCli(Join(cli, {"config", "diff", base}), env);
    EXPECT_EQ(r.Code, 1) << r.Out;
    const auto d = r.Lines().at(0)["result"]["differences"];
    ASSERT_EQ(d.size(), 1u) << r.Out;
    EXPECT_EQ(d[0]["device"], "Office");
    EXPECT_EQ(d[0]["pending"], "Elsewhere");
    r = RunCli(Join(cli, {"config", "apply", base, "--reboot", "--wait"}), env);
    ASSERT_EQ(r.Code, 0) << r.Out << r.Err;
    EXPECT_EQ(r.Lines().at(0)["result"]["written"], nlohmann::json::array({"location"}));
    EXPECT_TRUE(horns.FileIs(0, kLocationFile, "Office"));
    EXPECT_EQ(RunCli(Join(cli, {"config", "diff", base}), env).Code, 0);

    // --reboot reboots with nothing to write too.
    const int restarts = horns.Site.Snapshot(0).RestartCount;
    r = RunCli(Join(cli, {"config", "apply", base, "--reboot", "--wait"}), env);
    EXPECT_EQ(r.Code, 0) << r.Out << r.Err;
    EXPECT_EQ(horns.Site.Snapshot(0).RestartCount, restarts + 1);

    // Written from elsewhere, unknown here: --write-all writes the file whatever is reported.
    TRunEnv elsewhere = TestEnv();
    ASSERT_EQ(RunCli(Join(cli, {"set", "location", "Attic"}), elsewhere).Code, 0);
    EXPECT_EQ(RunCli(Join(cli, {"config", "diff", base}), env).Code, 0) << "cannot be known";
    r = RunCli(Join(cli, {"config", "apply", base, "--write-all", "--reboot", "--wait"}), env);
    ASSERT_EQ(r.Code, 0) << r.Out << r.Err;
    EXPECT_EQ(r.Lines().at(0)["result"]["written"].size(), 6u) << r.Out;
    EXPECT_TRUE(horns.FileIs(0, kLocationFile, "Office"));

    // The factory snapshot has no station: applied, the station's files go as a reset does.
    ASSERT_EQ(RunCli(Join(cli, {"set", "station", "Plant"}), env).Code, 0);
    ASSERT_EQ(RunCli(Join(cli, {"reboot", "--wait"}), env).Code, 0);
    ASSERT_TRUE(horns.FileIs(0, kStaSsidFile, "Plant"));
    r = RunCli(Join(cli, {"config", "apply", base, "--reboot", "--wait"}), env);
    ASSERT_EQ(r.Code, 0) << r.Out << r.Err;
    EXPECT_EQ(r.Lines().at(0)["result"]["written"], nlohmann::json::array({"station"}));
    EXPECT_TRUE(horns.FileIs(0, kStaSsidFile, "(none)"));
    EXPECT_TRUE(horns.FileIs(0, kStaKeyTypeFile, "(none)"));
}

TEST(CliMisuse, AnInterruptIsReportedAsSuchWithWhatWasDone) {
    const std::string image = TempFile("interrupt.bin", std::string(8192, 'I') + "FWVER=\x01\x0C");
    const std::string snapshot = TempFile("interrupt.json", Snapshot(R"({"location":"Hall"})"));
    struct Case {
        std::vector<std::string> args;
        const char* told;
    };
    const Case cases[] = {
        {{"firmware", image, "--wait"},
         "the image was stored, its byte sum confirmed and the restart sent; interrupted while "
         "waiting"},
        {{"reboot", "--wait"}, "the restart was sent; interrupted while waiting"},
        {{"config", "apply", snapshot, "--reboot", "--wait"},
         "wrote location, and the restart was sent; interrupted while waiting"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        THorns horns("127.0.98.61", 1);
        std::atomic<bool> stop{false};
        TRunEnv env = TestEnv();
        env.Stop = &stop;
        env.RestartGraceMs = 5000;  // the wait is under way when the interrupt comes
        std::thread interrupt([&] {
            for (int i = 0; i < 1000 && horns.Site.Snapshot(0).RestartCount == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            stop = true;
        });
        const auto start = std::chrono::steady_clock::now();
        const auto r = RunCli(Join(horns.Target(), Join({"--json", "--yes"}, c.args)), env);
        interrupt.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
        EXPECT_EQ(r.Code, 130) << r.Out << r.Err;
        ASSERT_EQ(r.Lines().size(), 1u) << r.Out;
        EXPECT_EQ(r.Lines()[0]["error"]["kind"], "interrupted");
        EXPECT_NE(r.Lines()[0]["error"]["message"].get<std::string>().find(c.told),
                  std::string::npos)
            << r.Out;
    }
    // Interrupted before any device was contacted: each is told, none is asked.
    THorns horns("127.0.98.65", 3);
    std::atomic<bool> stop{true};
    TRunEnv env = TestEnv();
    env.Stop = &stop;
    const auto r = RunCli(Join(horns.Target(), {"--json", "status"}), env);
    EXPECT_EQ(r.Code, 130);
    ASSERT_EQ(r.Lines().size(), 3u) << r.Out;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NE(r.LineFor(horns.Address(i)).dump().find("before it was contacted"),
                  std::string::npos);
        EXPECT_TRUE(horns.Site.Requests(i).empty());
    }
}

TEST(CliMisuse, ASecondInterruptLetsTheDataPhaseFinishSoNoHornIsLeftWaiting) {
    THorns horns("127.0.98.71", 1);
    const std::string bytes = std::string(65536, 'J') + "FWVER=\x01\x0D";
    const std::string image = TempFile("second.bin", bytes);
    const std::string state = fs::path(TempFile("second-state/x", "")).parent_path().string();
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::close(out[0]);
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
        const std::string port = horns.Port();
        const std::string device = horns.Address(0);
        ::execl(KSTBELLCTL_PATH, "kstbellctl", "--port", port.c_str(), "-d", device.c_str(),
                "--json", "--yes", "firmware", image.c_str(), "--wait", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    // The header has gone out: the horn now takes the next connection as the image's data.
    const auto announced = [&] {
        for (const auto& request : horns.Site.Requests(0))
            if (request.Bytes.size() > 4 && request.Bytes[4] == 0x5F) return true;
        return false;
    };
    for (int i = 0; i < 500 && !announced(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(announced());
    ::kill(child, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(child, SIGINT);
    std::string output;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        output.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << output;
    EXPECT_NE(output.find("a transfer is under way"), std::string::npos) << output;
    EXPECT_NE(output.find("\"kind\":\"interrupted\""), std::string::npos) << output;
    EXPECT_TRUE(horns.FileIs(0, "/sys/mcuimg.bin", bytes)) << "the data phase was finished";
    EXPECT_EQ(RunCli(Join(horns.Target(), {"status"})).Code, 0) << "the horn answers again";
}

TEST(CliMisuse, ControlCharactersNeverReachAHornAndTheFieldIsNamed) {
    struct Case {
        std::vector<std::string> args;
        const char* field;
    };
    const Case cases[] = {
        {{"set", "location", "Hall\t2"}, "the location"},
        {{"set", "ap", "Net\x01"}, "the SSID"},
        {{"set", "station", "Plant", "--key-file", TempFile("nl.key", "key\n12345678")}, "the key"},
        {{"set", "ap", "Net", "--key-file",
          TempFile("nul.key", std::string("key1\0"
                                          "2345",
                                          9))},
         "the key"},
        {{"config", "apply", TempFile("nul.json", Snapshot(R"({"location_hex":"48616c6c0032"})"))},
         "location: the location"},
        {{"config", "apply",
          TempFile("lf.json", Snapshot(R"({"station":{"ssid_hex":"506c0a","key_type":"open"}})"))},
         "station: the SSID"},
    };
    THorns horns("127.0.98.1", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        horns.Site.ClearRequests(0);
        const auto r = RunCli(Join(Join(horns.Target(), {"--json", "--yes"}), c.args));
        EXPECT_EQ(r.Code, 1) << r.Out << r.Err;
        ASSERT_EQ(r.Lines().size(), 1u) << r.Out;
        const auto error = r.Lines()[0]["error"];
        EXPECT_EQ(error["kind"], "invalid_input");
        EXPECT_NE(error["message"].get<std::string>().find(c.field), std::string::npos) << error;
        // A snapshot is checked after the horn was read; nothing is written either way.
        for (const auto& request : horns.Site.Requests(0))
            EXPECT_FALSE(request.Bytes.size() > 4 && request.Bytes[4] == 0x5F)
                << "a file was announced";
    }
    // Line ends at the end of a key file, however many, are not part of the key.
    const std::string key = TempFile("crlf.key", "secret-key-12\r\n\n");
    ASSERT_EQ(RunCli(Join(horns.Target(), {"--yes", "set", "ap", "Horn", "--key-file", key})).Code,
              0);
    EXPECT_TRUE(horns.FileIs(0, kApKeyFile, "secret-key-12"));
}

TEST(CliMisuse, MalformedSnapshotsAreRefusedNamingFileAndKeyBeforeAnyHornIsAsked) {
    struct Case {
        std::string name, text, key;
    };
    const Case cases[] = {
        {"deep.json", std::string(100000, '['), "nested deeper"},
        {"format.json", R"({"format":1,"settings":{}})", "format"},
        {"array.json", Snapshot("[]"), "settings"},
        {"ssid.json", Snapshot(R"({"access_point":{"ssid":5,"key_type":"open"}})"),
         "settings.access_point: \"ssid\""},
        {"null.json", Snapshot(R"({"station":{"ssid":"x","key_type":null}})"),
         "settings.station.key_type"},
        {"port.json", Snapshot(R"({"modbus":{"port":"502","idle_timeout_s":30}})"),
         "settings.modbus.port"},
        {"huge.json", Snapshot(R"({"modbus":{"port":1e300,"idle_timeout_s":30}})"),
         "settings.modbus.port"},
        {"broken.json", "{\"format\":", "not JSON"},
        {"overflow.json", Snapshot(R"({"modbus":{"port":31e872332}})"), "not JSON"},
        {"folder", "", "folder"},
    };
    THorns horns("127.0.98.11", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = TempFile("malformed/" + c.name, c.text);
        if (c.name == "folder") file = file.substr(0, file.rfind('/'));
        for (const char* verb : {"diff", "apply"}) {
            const auto r = RunCli(Join(horns.Target(), {"--json", "--yes", "config", verb, file}));
            EXPECT_EQ(r.Code, 2) << verb << ": " << r.Out << r.Err;
            ASSERT_EQ(r.Lines().size(), 1u) << r.Out;
            const auto error = r.Lines()[0]["error"];
            EXPECT_EQ(error["kind"], "invalid_input");
            const std::string message = error["message"];
            EXPECT_NE(message.find(file), std::string::npos) << message;
            EXPECT_NE(message.find(c.key), std::string::npos) << message;
        }
    }
    EXPECT_TRUE(horns.Site.Requests(0).empty());
}

TEST(CliMisuse, SnapshotsAreStrictAndOneStaticAddressGoesToOneHorn) {
    THorns horns("127.0.98.21", 3);
    const auto all = Join(horns.Target(), {"--json", "--yes", "config"});
    struct Case {
        std::string name, settings, key;
    };
    const Case cases[] = {
        {"typo.json", R"({"locaton":"Hall"})", "settings.locaton"},
        {"extra.json", R"({"modbus":{"port":502,"idle_timeout_s":30,"unit":1}})",
         "settings.modbus.unit"},
        {"disagree.json", R"({"location":"Hall","location_hex":"48616c6c2032"})", "disagree"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = RunCli(Join(all, {"diff", TempFile(c.name, Snapshot(c.settings))}));
        EXPECT_EQ(r.Code, 2) << r.Out << r.Err;
        ASSERT_EQ(r.Lines().size(), 3u) << r.Out;
        EXPECT_NE(r.Lines()[0]["error"]["message"].get<std::string>().find(c.key),
                  std::string::npos)
            << r.Out;
    }
    // For a person, one file's fault is told once for all its horns.
    const auto told = RunCli(Join(horns.Target(), {"config", "diff", TempFile("empty.json", "")}));
    EXPECT_EQ(told.Code, 2);
    EXPECT_EQ(std::count(told.Err.begin(), told.Err.end(), '\n'), 1) << told.Err;
    EXPECT_NE(told.Err.find("and 2 more devices: invalid_input"), std::string::npos) << told.Err;
    // One file with a static address for three horns would leave them on one address.
    const std::string shared = TempFile(
        "static.json",
        Snapshot(R"({"static_ip":{"ip":"10.0.0.5","mask":"255.0.0.0","gateway":"10.0.0.1"}})"));
    auto r = RunCli(Join(all, {"apply", shared}));
    EXPECT_EQ(r.Code, 2);
    EXPECT_TRUE(r.Out.empty()) << r.Out;
    EXPECT_NE(r.Err.find("10.0.0.5 would go to 3 devices"), std::string::npos) << r.Err;
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(horns.Site.Requests(i).empty());
    r = RunCli(Join(all, {"apply", shared, "--allow-same-address", "--dry-run"}));
    EXPECT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(r.Lines().size(), 3u);
    // A file per horn, each with an address of its own, needs no permission.
    for (std::size_t i = 0; i < 3; ++i)
        TempFile("own-" + horns.Address(i) + ".json",
                 Snapshot(R"({"static_ip":{"ip":"10.0.0.)" + std::to_string(10 + i) +
                          R"(","mask":"255.0.0.0","gateway":"10.0.0.1"}})"));
    const std::string own = shared.substr(0, shared.rfind('/')) + "/own-{device}.json";
    r = RunCli(Join(all, {"apply", own, "--dry-run"}));
    EXPECT_EQ(r.Code, 0) << r.Err;
}

}  // namespace
}  // namespace kstbell::cli::test
