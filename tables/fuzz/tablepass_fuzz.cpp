// Fuzz target: the table pass on arbitrary page stream bytes. The input
// becomes pass1.tmp and the pass writes pass2.tmp, as in the page cycle.
//
// Besides what the sanitizers catch (and a time-out for a pass that never
// ends), every input is checked for:
//  - no table code (1 to 8, 11, 12) in pass2.tmp: every one is consumed,
//    however badly the tables are formed;
//  - a stream without table codes copied through byte for byte.

#include <cstdint>
#include <string>

#include "common/check.h"
#include "fuzzsupport.h"
#include "tables/table_engine.h"

namespace {

bool isTableCode(unsigned char c) {
    return (c >= 1 && c <= 8) || c == 11 || c == 12;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    wexafuzz::enterScratchDirectory();
    wexafuzz::writeBytes("pass1.tmp", data, size);
    {
        // pass2.tmp is complete once the engine is gone.
        table_engine engine("pass1.tmp");
        engine.write_to_buffer();
    }
    const std::string out = wexafuzz::readBytes("pass2.tmp");

    bool inputHasCodes = false;
    for (std::size_t i = 0; i < size; ++i) inputHasCodes = inputHasCodes || isTableCode(data[i]);
    for (const char c : out)
        WEXA_CHECK(!isTableCode(static_cast<unsigned char>(c)), "no table code in pass2.tmp");
    if (!inputHasCodes)
        WEXA_CHECK(out == std::string(reinterpret_cast<const char*>(data), size),
                   "text without tables copied through");
    return 0;
}
