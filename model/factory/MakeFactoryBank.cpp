// Build tool: turns factory-bank.txt into the factory bank resource, the raw
// 14596-byte dump body with both checksums consistent with the data.

#include "A3AllDataSource.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

// Chain data is opaque to the program; any reproducible, non-trivial content
// exercises the checksum as a real dump does.
void fillChainData(a3::A3AllData& record)
{
    std::uint32_t state = 0xA3A3u;
    for (auto& byte : record.chain) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>((state >> 16) & 0x7F);
    }
}

bool fail(const std::string& message)
{
    std::cerr << "make-factory-bank: " << message << '\n';
    return false;
}

bool fillPatches(std::istream& source, a3::A3AllDataSource& bank)
{
    std::string line;
    std::int64_t index = 0;
    int lineNumber = 0;
    while (std::getline(source, line)) {
        ++lineNumber;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::istringstream fields(line);
        int chain = -1;
        std::string name;
        fields >> chain;
        std::getline(fields >> std::ws, name);
        if (chain < 0 || chain > 255 || name.empty() || name.size() > a3::kPatchNameLength) {
            return fail("line " + std::to_string(lineNumber) + ": expected '<chain> <name>'");
        }
        if (index == bank.numberOfRows()) {
            return fail("more than 100 patches");
        }
        auto patch = a3::kFallbackPatch;
        patch[0] = static_cast<std::uint8_t>(chain);
        bank.setPatchData(patch, index);
        bank.setPatchName(std::u16string(name.begin(), name.end()), index);
        ++index;
    }
    if (index != bank.numberOfRows()) {
        return fail("expected 100 patches, found " + std::to_string(index));
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: make-factory-bank SOURCE OUTPUT\n";
        return 2;
    }
    std::ifstream source(argv[1]);
    if (!source) {
        return fail(std::string("cannot read ") + argv[1]), 1;
    }
    a3::A3AllDataSource bank = a3::A3AllDataSource::fallbackBank();
    a3::A3AllData record = bank.data();
    fillChainData(record);
    bank.setData(record);
    if (!fillPatches(source, bank)) {
        return 1;
    }
    bank.syxData(); // stores both checksums
    record = bank.data();

    std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
    output.write(reinterpret_cast<const char*>(&record) + a3::kHeaderSize, a3::kDumpBodySize);
    if (!output.flush()) {
        return fail(std::string("cannot write ") + argv[2]), 1;
    }
    return 0;
}
