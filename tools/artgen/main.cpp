// artgen: draws the program's icons and bitmaps and writes them, with the
// resource script that declares them, so the Windows build only compiles
// committed files.
//
//   artgen RESDIR [--previews DIR]   write RESDIR/art/* and RESDIR/artwork.rc
//                                    (and PPM previews into DIR)
//   artgen --verify RESDIR           check the format and content of RESDIR/art
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Artwork.h"
#include "Verify.h"

namespace {

using buzonix::artgen::OutputFile;
namespace fs = std::filesystem;

bool writeAll(const fs::path& folder, const std::vector<OutputFile>& files) {
    for (const OutputFile& file : files) {
        const fs::path path = folder / file.path;
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.bytes.data()),
                  static_cast<std::streamsize>(file.bytes.size()));
        if (!out) {
            std::cerr << "artgen: cannot write " << path << "\n";
            return false;
        }
    }
    return true;
}

int usage() {
    std::cerr << "usage: artgen RESDIR [--previews DIR]\n"
                 "       artgen --verify RESDIR\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--verify")
        return buzonix::artgen::verifyArtwork(args[1], std::cout) ? 0 : 1;
    if (args.size() != 1 && !(args.size() == 3 && args[1] == "--previews")) return usage();
    if (!writeAll(args[0], buzonix::artgen::buildResources())) return 1;
    if (args.size() == 3 && !writeAll(args[2], buzonix::artgen::buildPreviews())) return 1;
    return 0;
}
