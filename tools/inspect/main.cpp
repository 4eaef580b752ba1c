// veldra-inspect [--json] DATA.DAT: what a data file holds and whether the
// program would accept it. Exit 0 when it would, 1 when not, 2 for usage.
// veldra-inspect --version: the release it belongs to.
#include <cstdio>
#include <string>

#include "host/release.h"
#include "tools/inspect/inspect.h"

int main(int argc, char** argv) {
    bool json = false;
    std::string path;
    int files = 0;
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::fputs(veldra::host::VersionLine("veldra-inspect").c_str(), stdout);
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            files = -1;  // an unknown option; a file named so is ./-NAME
            break;
        } else {
            path = arg;
            ++files;
        }
    }
    if (files != 1) {
        std::fprintf(stderr,
                     "usage: veldra-inspect [--json] DATA.DAT\n       veldra-inspect --version\n");
        return 2;
    }
    veldra::InspectReport report = veldra::InspectDataFile(path);
    std::string text = json ? veldra::FormatReportJson(report) : veldra::FormatReportText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return report.Accepted() ? 0 : 1;
}
