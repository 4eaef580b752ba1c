#include "tools/image/image_run.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <streambuf>

#include "host/cp932.h"
#include "platform/mbcs.h"
#include "records/data_file_format.h"
#include "res/message_text.h"
#include "res/resource.h"
#include "sim/machine/machine_description.h"
#include "sim/machine/sim_run.h"
#include "tools/image/blank_floppy.h"

namespace veldra {
namespace {

namespace fs = std::filesystem;

// The medium being written beside the output, removed should the producer
// interrupt the run: a half-written image is nobody's to keep.
char g_partialImage[4096];

extern "C" void RemovePartialImage(int signal) {
    if (g_partialImage[0] != '\0') ::unlink(g_partialImage);
    ::_exit(128 + signal);
}

std::string TableText(UINT id) {
    return std::string(StringTableSource(id));
}

// A directory of its own under the system's temporary directory, removed
// with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "veldra-image-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary directory");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

// Hands each finished line of the transcript on as it is written.
class LineSink final : public std::streambuf {
public:
    explicit LineSink(std::function<void(const std::string&)> onLine)
        : m_onLine(std::move(onLine)) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (c == '\n') {
            if (m_onLine) m_onLine(m_line);
            m_line.clear();
        } else {
            m_line += static_cast<char>(c);
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) overflow(static_cast<unsigned char>(s[i]));
        return n;
    }

private:
    std::function<void(const std::string&)> m_onLine;
    std::string m_line;
};

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

// The machine: the tool in C:\TAVEX on a fixed disk, and one removable drive
// with the medium in it.
std::string MachineIni(ImageMedium medium, bool usbProgram) {
    std::string ini =
        "[system]\nversion = 5.1.2600\nplatform = 2\nmodule = C:\\TAVEX\\TAVEX.EXE\n"
        "clock = host\n\n[drive C]\ntype = fixed\nroot = C\n\n";
    if (medium == ImageMedium::Floppy) {
        return ini +
               "[drive A]\ntype = removable\ndevice = floppy 0\n\n"
               "[floppy 0]\nimage = media/medium.img\nmedia = 1.44M\ndevice-number = fails\n\n"
               "[registry SYSTEM\\CurrentControlSet\\Services\\Flpydisk\\Enum]\n"
               "Count = dword:1\n0 = ACPI\\PNP0700\\0\n\n"
               "[registry SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0700\\0]\n"
               "deviceDesc = フロッピー ディスク ドライブ\n";
    }
    // A floppy program lists the removable letters A and B only.
    std::string letter = usbProgram ? "E" : "B";
    return ini + "[drive " + letter + "]\ntype = removable\ndevice = disk 1\n\n" +
           "[disk 1]\nimage = media/medium.img\nmedia = removable\n\n"
           "[registry SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum]\n"
           "Count = dword:2\n0 = IDE\\DiskVELDRA\\0\n"
           "1 = USBSTOR\\Disk&Ven_VELDRA&Prod_Image&Rev_1.00\\0001&0\n\n"
           "[registry SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_VELDRA&Prod_Image&Rev_"
           "1.00\\0001&0]\nFriendlyName = VELDRA Image USB Device\n";
}

// The medium as it goes into the drive: a blank formatted floppy, or a stick
// of zeros (sparse on the host).
void BlankMedium(const fs::path& path, ImageMedium medium, std::uint64_t stickBytes) {
    if (medium == ImageMedium::Floppy) {
        std::vector<std::uint8_t> image = BlankFloppyImage();
        WriteBytes(path, std::string(image.begin(), image.end()));
        return;
    }
    fs::resize_file(path, 0);
    fs::resize_file(path, stickBytes);
}

struct Run {
    int exitCode = 0;
    std::string error;
    std::vector<std::string> lines;
    std::size_t unusedActions = 0;
};

Run RunOnce(const ImageRequest& request, bool usbProgram, const std::string& dataName,
            const fs::path& medium, const std::string& script) {
    TempDir machine;
    const fs::path& dir = machine.Path();
    fs::create_directories(dir / "C" / "TAVEX");
    fs::create_directories(dir / "media");
    fs::create_symlink(fs::absolute(medium), dir / "media" / "medium.img");
    WriteBytes(dir / sim::kMachineFileName, MachineIni(request.medium, usbProgram));
    std::string listed = host::Utf8ToCp932(dataName).value_or("DATA.DAT");
    WriteBytes(dir / "C" / "TAVEX" / "TAVEXMEDIA.INI", "[FILE]\r\nFILES=1\r\nFILE1=" + listed +
                                                           "\r\nFILENO=1\r\n" +
                                                           (request.verify ? "VERIFY=1\r\n" : ""));
    // A copy: whatever the program does, the producer's file stays as it is.
    fs::copy_file(request.dataFile, dir / "C" / "TAVEX" / dataName);

    LineSink sink(request.onLine);
    std::ostream stream(&sink);
    sim::Transcript transcript(&stream);
    sim::RunStats stats;
    Run run;
    run.exitCode =
        sim::RunProgram(sim::LoadMachineDescription(dir), sim::OperatorScript::Parse(script),
                        transcript, &run.error, &stats);
    run.lines = transcript.Lines();
    run.unusedActions = stats.unusedActions;
    return run;
}

// The answer the operator gives a box that stopped the run: the first
// Yes/No box is the confirmation; a later one asks whether to try a failed
// file again, which would only fail again here.
std::string AnswerFor(const Run& run) {
    const std::string& box = run.lines.back();
    if (box.find(", OK]") != std::string::npos) return "ok";
    if (box.find(", OK/Cancel]") != std::string::npos) return "ok";
    for (std::size_t i = 0; i + 1 < run.lines.size(); ++i) {
        if (run.lines[i].rfind("message box [", 0) == 0 &&
            run.lines[i].find(", Yes/No]") != std::string::npos)
            return "no";
    }
    return "yes";
}

bool IsAnswer(const std::string& action) {
    return action == "yes" || action == "no" || action == "ok" || action == "cancel";
}

std::string Join(const std::vector<std::string>& actions) {
    std::string script;
    for (const std::string& a : actions) script += (script.empty() ? "" : ", ") + a;
    return script;
}

}  // namespace

std::string MachineDataName(const fs::path& dataFile) {
    std::string name = dataFile.filename().string();
    std::optional<std::string> cp932 = host::Utf8ToCp932(name);
    bool plain = cp932 && !cp932->empty() && cp932->size() <= 63 &&
                 name.find_first_of("\\/:*?\"<>|") == std::string::npos;
    for (char c : name) plain = plain && static_cast<unsigned char>(c) >= 0x20;
    // Not a name the tool's own files have beside it.
    for (const char* own : {"TAVEXMEDIA.INI", "TVLOG.TXT"}) {
        plain = plain && !EqualsIgnoreAsciiCase(name, own);
    }
    return plain ? name : "DATA.DAT";
}

ImageResult MakeImage(const ImageRequest& request) {
    ImageResult result;
    std::ifstream header(request.dataFile, std::ios::binary);
    char mediaKind = 0;
    header.seekg(HDR_OFFSET_MEDIA_KIND);
    if (!header.get(mediaKind)) {
        result.error = "cannot read " + request.dataFile.string();
        return result;
    }
    bool usbProgram = static_cast<BYTE>(mediaKind) == MEDIA_USB;
    std::string dataName = MachineDataName(request.dataFile);

    // The medium is made beside the output and only renamed to it when the
    // creation succeeded.
    fs::path output = fs::absolute(request.output);
    std::string pattern =
        (output.parent_path() / ("." + output.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        result.error = "cannot write beside " + request.output.string();
        return result;
    }
    // The image is the producer's file like any other they write.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    fs::path medium = pattern;
    if (pattern.size() < sizeof g_partialImage) {
        std::copy(pattern.begin(), pattern.end(), g_partialImage);
        g_partialImage[pattern.size()] = '\0';
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, RemovePartialImage);
    }
    struct RemoveUnlessKept {
        fs::path path;
        bool keep = false;
        ~RemoveUnlessKept() {
            for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
            g_partialImage[0] = '\0';
            std::error_code ec;
            if (!keep) fs::remove(path, ec);
        }
    } temporary{medium};

    std::vector<std::string> actions = {"create", "yes", "exit"};
    const std::string done = "status: " + sim::Transcript::QuoteUtf8(TableText(IDS_CREATE_DONE));
    try {
        // Every box that stops the run gets its answer, and the run starts
        // again on a fresh medium, until it ends by itself.
        for (int attempt = 0; attempt < 8; ++attempt) {
            BlankMedium(medium, request.medium, request.stickBytes);
            Run run = RunOnce(request, usbProgram, dataName, medium, Join(actions));
            result.report.clear();
            for (const std::string& line : run.lines) {
                if (line.rfind("status: ", 0) == 0 || line.rfind("message box ", 0) == 0)
                    result.report.push_back(line);
            }
            bool boxWaits = run.exitCode == sim::EXIT_SCRIPT && !run.lines.empty() &&
                            run.lines.back().rfind("message box ", 0) == 0 &&
                            run.lines.back().find(" -> ") == std::string::npos;
            if (!boxWaits) {
                if (run.exitCode != 0) {
                    result.error = run.error;
                    return result;
                }
                break;
            }
            std::size_t failing = actions.size() - run.unusedActions - 1;
            if (IsAnswer(actions[failing])) {
                actions[failing] = AnswerFor(run);
            } else {
                actions.insert(actions.begin() + static_cast<std::ptrdiff_t>(failing),
                               AnswerFor(run));
            }
        }
    } catch (const std::exception& e) {
        result.error = e.what();
        return result;
    }
    std::string lastStatus;
    for (const std::string& line : result.report) {
        if (line.rfind("status: ", 0) == 0) lastStatus = line;
    }
    if (lastStatus != done) return result;
    std::error_code ec;
    fs::rename(medium, output, ec);
    if (ec) {
        result.error = "cannot write " + request.output.string() + ": " + ec.message();
        return result;
    }
    temporary.keep = true;
    result.created = true;
    return result;
}

}  // namespace veldra
