// passdump: prints ./pass1.tmp with the page stream's control codes spelled
// out. Every byte is printed in brackets unless it has a label of its own, so
// the text "Hi" comes out as [H][i]. No line breaks are added. A missing or
// unreadable file prints nothing; the exit status is always 0.

#include <cstdio>
#include <fstream>
#include <ios>
#include <string>

#include "common/programinfo.h"

namespace {

struct Label {
    unsigned char byte;
    const char* text;
};

// The page stream codes that have a label of their own.
constexpr Label labels[] = {
    {10, "[ NL ]"},      {9, "[Tab]"},         {3, "[td]"},           {4, "[td noalign specified]"},
    {5, "[left align]"}, {6, "[right align]"}, {7, "[center align]"}, {18, "[UL]"},
    {16, "<OL>"},        {17, "</OL>"},        {20, "<LI>"},          {21, "</li>"},
};

// The label printed in place of a byte, or null for the bracketed byte.
const char* labelOf(unsigned char byte) {
    for (const Label& label : labels)
        if (label.byte == byte) return label.text;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = wexa::answerHelpAndVersion(argc, argv, "passdump", wexa::PASSDUMP_USAGE);
        status >= 0)
        return status;
    std::ifstream in("pass1.tmp", std::ios::in | std::ios::binary);
    if (!in.is_open()) return 0;
    for (int c = in.get(); c != std::char_traits<char>::eof(); c = in.get()) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (const char* label = labelOf(byte)) {
            std::fputs(label, stdout);
        } else {
            std::putchar('[');
            std::putchar(byte);
            std::putchar(']');
        }
    }
    in.close();
    std::fflush(stdout);
    return 0;
}
