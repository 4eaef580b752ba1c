// veldra-mkdata MANIFEST OUTPUT: builds a data file from a text manifest.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "tools/datafile/atomic_file.h"
#include "tools/datafile/datafile_writer.h"
#include "tools/datafile/manifest.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: veldra-mkdata MANIFEST OUTPUT\n");
        return 2;
    }
    try {
        veldra::DataFileSpec model = veldra::LoadManifest(argv[1]);
        std::vector<veldra::BYTE> bytes = veldra::BuildDataFile(model);
        veldra::WriteFileAtomically(argv[2], bytes);
    } catch (const veldra::DataFileError& e) {
        std::fprintf(stderr, "veldra-mkdata: %s: %s\n", argv[1], e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veldra-mkdata: %s\n", e.what());
        return 2;
    }
    return 0;
}
