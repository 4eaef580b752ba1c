#include "fuzz/campaign/runner.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "fuzz/campaign/creation.h"
#include "fuzz/campaign/fat_time.h"
#include "fuzz/campaign/host_tools.h"
#include "fuzz/campaign/oracle.h"
#include "fuzz/campaign/random_machine.h"
#include "sim/machine/sim_run.h"

namespace veldra::campaign {
namespace {

namespace fs = std::filesystem;

constexpr char kCreating[] = "status: \"実行メディアを作成中です。\"";
constexpr char kDone[] = "status: \"実行メディアの作成が完了しました。\"";
constexpr char kFailed[] = "status: \"実行メディアの作成が失敗しました。\"";
constexpr char kCannotOpenData[] =
    "message box [stop, OK] \"VELDRA\": \"PROG.DAT が開けません。\" -> OK";
constexpr int kMostBoxes = 16;  // more questions than this: the run is taken for hung

// Sticks are mostly zeros: only what is not goes to the disk.
void WriteSparse(const fs::path& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0)
        throw std::runtime_error("cannot write " + path.string());
    constexpr std::size_t kBlock = 4096;
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
        std::string_view block(bytes.data() + at, std::min(kBlock, bytes.size() - at));
        if (block.find_first_not_of('\0') == std::string_view::npos) continue;
        if (::pwrite(fd, block.data(), block.size(), static_cast<off_t>(at)) !=
            static_cast<ssize_t>(block.size()))
            throw std::runtime_error("cannot write " + path.string());
    }
    ::close(fd);
}

fs::path Tavex(const fs::path& dir) {
    return dir / "C" / "TAVEX";
}

void Prepare(const fs::path& dir, const Creation& c) {
    fs::remove_all(dir / "C");
    fs::remove_all(dir / ".objects");
    fs::create_directories(Tavex(dir));
    WriteBytes(dir / "machine.ini", MachineDescription(c));
    WriteBytes(Tavex(dir) / "TAVEXMEDIA.INI", MediaDefinition(c));
    WriteBytes(Tavex(dir) / "PROG.DAT", c.dataFile);
    if (c.logExists) WriteBytes(Tavex(dir) / "TVLOG.TXT", c.logBefore);
    for (const Device& d : c.devices) WriteSparse(dir / d.ImageName(), d.image);
}

struct Run {
    int exitCode = 0;
    std::string error;
    std::vector<std::string> lines;
    std::uint64_t sleptMs = 0;
    std::size_t heapBlocksLeft = 0, handlesLeft = 0;
};

std::string Join(const std::vector<std::string>& actions) {
    std::string script;
    for (const std::string& a : actions) script += (script.empty() ? "" : ", ") + a;
    return script;
}

bool IsAnswer(const std::string& action) {
    return action == "yes" || action == "no" || action == "ok" || action == "cancel";
}

// The operator's answer to the box that waits: the first Yes/No box is the
// confirmation, the later ones the retry questions; OK/Cancel asks about the
// files left on a stick.
std::string AnswerFor(const Run& run, const OperatorAnswers& answers) {
    const std::string& box = run.lines.back();
    if (box.find(", OK/Cancel]") != std::string::npos) return answers.proceed ? "ok" : "cancel";
    if (box.find(", Yes/No]") == std::string::npos) return "ok";
    std::size_t asked = 0;
    for (const std::string& line : run.lines)
        asked += line.rfind("message box [", 0) == 0 && line.find(", Yes/No]") != std::string::npos;
    if (asked == 1) return answers.confirm ? "yes" : "no";
    bool yes = asked - 2 < answers.retries.size() && answers.retries[asked - 2];
    return yes ? "yes" : "no";
}

// Runs the creation afresh until the operator has answered every box it shows.
Run RunWithAnswers(const fs::path& dir, const Creation& c, std::string* failure) {
    std::vector<std::string> actions = {"drive " + std::to_string(c.answers.driveLine), "create"};
    // What the operator does while the confirmation waits: media into empty
    // drives, the stick at E: out and in again.
    for (const Device& d : c.devices)
        if (d.inserted) actions.push_back(std::string("insert ") + d.letter);
    if (c.answers.replug) actions.push_back("replug E");
    actions.insert(actions.end(), {c.answers.confirm ? "yes" : "no", "exit"});
    for (int boxes = 0;; ++boxes) {
        Prepare(dir, c);
        sim::Transcript transcript;
        sim::RunStats stats;
        Run run;
        run.exitCode = sim::RunProgram(sim::LoadMachineDescription(dir),
                                       sim::OperatorScript::Parse(Join(actions)), transcript,
                                       &run.error, &stats);
        run.lines = transcript.Lines();
        run.sleptMs = stats.sleptMs;
        run.heapBlocksLeft = stats.heapBlocksLeft;
        run.handlesLeft = stats.handlesLeft;
        bool boxWaits = run.exitCode == sim::EXIT_SCRIPT && !run.lines.empty() &&
                        run.lines.back().rfind("message box ", 0) == 0 &&
                        run.lines.back().find(" -> ") == std::string::npos;
        if (!boxWaits) return run;
        if (boxes == kMostBoxes) {
            *failure = "hung: still asking after " + std::to_string(kMostBoxes) + " answers";
            return run;
        }
        std::size_t failing = actions.size() - stats.unusedActions - 1;
        std::string answer = AnswerFor(run, c.answers);
        if (IsAnswer(actions[failing]))
            actions[failing] = answer;
        else
            actions.insert(actions.begin() + static_cast<std::ptrdiff_t>(failing), answer);
    }
}

// The letter of the drive box line the operator picked.
char PickedLetter(const Run& run, int line) {
    std::vector<char> letters;
    for (const std::string& l : run.lines) {
        if (l.rfind("> drive ", 0) == 0) break;
        if (l == "drive box: clear") letters.clear();
        const std::string add = "drive box: add \"";
        if (l.rfind(add, 0) == 0) letters.push_back(l[add.size()]);
    }
    return line >= 1 && line <= static_cast<int>(letters.size()) ? letters[line - 1] : 0;
}

// An entry appended for a creation of content kind 0, and nothing else: a
// creation of another kind opens the log all the same, which makes it.
std::string CheckLog(const Creation& c, const fs::path& dir, bool done) {
    fs::path log = Tavex(dir) / "TVLOG.TXT";
    bool exists = fs::exists(log);
    std::string now = exists ? ReadBytes(log) : "";
    if (!done || c.dataFile[81] != 0) {
        bool madeEmpty = done && !c.logExists && exists && now.empty();
        if (!madeEmpty && (exists != c.logExists || now != c.logBefore))
            return "TVLOG.TXT changed without a logged creation";
        return "";
    }
    bool logMissing = c.logHeld || c.readOnlyC || c.freeBytesC == 0u;
    if (!exists && !c.logExists && logMissing) return "";
    if (!exists || now.compare(0, c.logBefore.size(), c.logBefore) != 0)
        return "TVLOG.TXT lost what it held";
    std::string entry = now.substr(c.logBefore.size());
    // "◆", "  日時：" and "  プログラム名：" in code page 932.
    const std::string mark = "\x81\x9F", date = "  \x93\xfa\x8e\x9e\x81\x46",
                      program = "  \x83\x76\x83\x8d\x83\x4f\x83\x89\x83\x80\x96\xbc\x81\x46";
    // A log held open or on a read-only C: stays as it was; with no room, it
    // holds what fitted of the entry (the program reports the failed write).
    if ((c.logHeld || c.readOnlyC) && entry.empty()) return "";
    std::size_t n = std::min(entry.size(), mark.size());
    if (c.freeBytesC && entry.size() == *c.freeBytesC && entry.compare(0, n, mark, 0, n) == 0)
        return "";
    std::string name(c.dataFile.c_str() + 16);
    std::size_t first = entry.find("\r\n"), second = entry.find("\r\n", first + 2);
    bool shaped = entry.rfind(mark, 0) == 0 && first != std::string::npos &&
                  second != std::string::npos && entry.compare(first + 2, date.size(), date) == 0 &&
                  entry.substr(second + 2) == program + name + "\r\n";
    return shaped ? "" : "TVLOG.TXT: the entry appended is not the creation's";
}

std::string WithoutNumber(std::string ini) {
    std::size_t at = ini.find("FILENO=");
    return at == std::string::npos ? ini : ini.erase(at, ini.find('\n', at) + 1 - at);
}

std::string Check(const Creation& c, const fs::path& dir, const Run& run, std::string& outcome,
                  std::string& reason) {
    if (run.exitCode != 0)
        return "the run ended with exit code " + std::to_string(run.exitCode) + ": " + run.error;
    // Whatever the run did, it gave back what it took.
    if (run.heapBlocksLeft != 0 || run.handlesLeft != 0)
        return std::to_string(run.heapBlocksLeft) + " heap blocks and " +
               std::to_string(run.handlesLeft) + " handles left at the end";
    auto has = [&](const char* line) {
        return std::find(run.lines.begin(), run.lines.end(), line) != run.lines.end();
    };
    // A data file that cannot be read stops the program before its dialog shows.
    // So does C: read-only: the program opens its data file for writing too.
    if (!c.supported || c.readOnlyC || (c.dataFileFault && PickedLetter(run, 1) == 0)) {
        // Windows 2000, a failing version query or heap: the program says so
        // in a stop box and ends, with nothing touched.
        outcome = "declined";
        reason = !c.supported  ? c.refusal
                 : c.readOnlyC ? "C: is read-only"
                               : "the data file cannot be read";
        const std::string on = " though " + c.refusal;
        if (PickedLetter(run, 1) != 0) return "the program started" + on;
        if (std::none_of(run.lines.begin(), run.lines.end(), [](const std::string& l) {
                return l.rfind("message box [stop, OK]", 0) == 0;
            }))
            return "no stop box" + on;
        if (c.supported && c.readOnlyC && !has(kCannotOpenData))
            return "no word that PROG.DAT cannot be opened";
        for (const Device& d : c.devices)
            if (ReadBytes(dir / d.ImageName()) != d.image)
                return std::string("the medium at ") + d.letter + ": changed" + on;
        // Past the version check the dialog is made, and its close writes
        // the program's number: 0, with nothing picked.
        std::string ini = ReadBytes(Tavex(dir) / "TAVEXMEDIA.INI");
        bool dialog = c.supported || c.systemKeys.starts_with("heap");
        if (dialog ? WithoutNumber(ini) != WithoutNumber(MediaDefinition(c))
                   : ini != MediaDefinition(c))
            return "TAVEXMEDIA.INI changed" + on;
        return CheckLog(c, dir, false);
    }
    char letter = PickedLetter(run, c.answers.driveLine);
    const Device* target = DeviceAt(c, letter);
    if (target == nullptr)
        return "the drive box has no line " + std::to_string(c.answers.driveLine);
    bool done = has(kDone), failed = has(kFailed), creating = has(kCreating);
    outcome = done ? "created" : failed ? "failed" : "declined";

    Oracle oracle(c, *target);
    reason = oracle.Reason();
    const char* names[] = {"declined", "failed", "created"};
    std::string expected = names[static_cast<int>(oracle.Expected())];
    bool fits = oracle.Expected() == Outcome::Declined ? !creating && !done && !failed
                : oracle.Expected() == Outcome::Fails  ? failed && !done
                                                       : done && !failed;
    auto stopBoxSays = [&](const std::string& text) {
        return std::any_of(run.lines.begin(), run.lines.end(), [&](const std::string& l) {
            return l.rfind("message box [stop", 0) == 0 && l.find(text) != std::string::npos;
        });
    };
    // Reads of the data file that fail, and its open beside the program's,
    // end the run wherever they come, failed or stopped, never created, and
    // the program says that it was the data file.
    bool unreadable = c.dataFileFault && !done &&
                      (stopBoxSays("PROG.DAT ") || stopBoxSays("データファイルの読み出し"));
    // A replug at the question hands the sticks' device numbers round: the
    // program may lose its target's medium then, and fail before it writes
    // anything, saying no medium is in; whatever it writes is judged as ever.
    bool lost = c.answers.replug && target->kind == DeviceKind::Stick && failed && !done &&
                stopBoxSays("メディアが挿入されていません。") &&
                ReadBytes(dir / target->ImageName()) == target->image;
    if (!fits && !unreadable && !lost)
        return std::string("status: expected ") + expected +
               (oracle.Reason().empty() ? "" : " (" + oracle.Reason() + ")") + ", the program " +
               outcome + " on " + letter + ":";

    std::string medium = ReadBytes(dir / target->ImageName());
    if (oracle.Untouched() && medium != target->image)
        return std::string("the medium at ") + letter + ": changed though nothing may be written";
    if (outcome == "declined" && medium != target->image)
        return std::string("the medium at ") + letter + ": changed, and the run was declined";
    auto fsck = [&](const FatVolume& v) -> std::string {
        fs::path volume = dir / "volume.img";
        WriteBytes(volume, medium.substr(v.offset, v.bytes));
        std::string report;
        if (Shell(ToolPath("fsck.fat") + " -n " + volume.string(), &report) != 0)
            return "fsck.fat -n finds faults: " + report;
        return "";
    };
    if (failed && !lost) {
        std::string outside = oracle.JudgeFailure(medium);
        if (!outside.empty())
            return std::string("failed, and the medium at ") + letter + ": " + outside;
        // Where a data file read failed is not walked: the run may have
        // stopped inside the first pass, before its file system was whole.
        if (oracle.FileSystemExpected() && !unreadable)
            if (std::string faults = fsck(*oracle.Volume()); !faults.empty())
                return "failed, and " + faults;
    }
    if (done) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        std::sscanf(c.clock.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
        std::uint64_t start = FileTimeOf(y, mo, d, h, mi, s);
        std::string differs = oracle.Judge(medium, start, start + run.sleptMs * 10'000);
        if (!differs.empty())
            return std::string("created, but the medium at ") + letter + ": " + differs;
        if (const std::optional<FatVolume>& v = oracle.Volume())
            if (std::string faults = fsck(*v); !faults.empty()) return "created, but " + faults;
    }
    for (const Device& other : c.devices) {
        if (&other != target && ReadBytes(dir / other.ImageName()) != other.image)
            return std::string("the medium at ") + other.letter + ": changed, though " + letter +
                   ": was picked";
    }
    if (ReadBytes(Tavex(dir) / "PROG.DAT") != c.dataFile) return "the data file changed";
    for (const auto& file : fs::directory_iterator(Tavex(dir))) {
        std::string name = file.path().filename().string();
        if (name != "PROG.DAT" && name != "TAVEXMEDIA.INI" && name != "TVLOG.TXT")
            return "a file appeared beside the program: " + name;
    }
    // Closing the dialog writes the program's number back, and nothing else.
    if (WithoutNumber(ReadBytes(Tavex(dir) / "TAVEXMEDIA.INI")) !=
        WithoutNumber(MediaDefinition(c)))
        return "TAVEXMEDIA.INI changed beyond FILENO";
    return CheckLog(c, dir, done);
}

}  // namespace

CreationResult RunCreation(std::uint64_t seed, bool keepMachine) {
    CreationResult result;
    Creation creation = RandomCreation(seed);
    fs::path dir = MakeTempDir("veldra-campaign");
    Run run = RunWithAnswers(dir, creation, &result.failure);
    if (result.failure.empty())
        result.failure = Check(creation, dir, run, result.outcome, result.reason);
    if (keepMachine || !result.failure.empty()) {
        WriteBytes(dir / "transcript.txt", [&] {
            std::string text;
            for (const std::string& line : run.lines) text += line + "\n";
            return text;
        }());
        // The media as they went in, to run the machine again by hand.
        fs::create_directories(dir / "before");
        for (const Device& d : creation.devices)
            WriteSparse(dir / "before" / d.ImageName(), d.image);
        result.machine = dir;
    } else {
        fs::remove_all(dir);
    }
    return result;
}

}  // namespace veldra::campaign
