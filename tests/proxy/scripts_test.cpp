// Pages in every script, from their bytes to the ASCII the browser shows:
// the charset is chosen (declared, or detected when there is no label or
// the label cannot be right), the bytes decoded and the text romanised by
// the rules of its language.

#include <gtest/gtest.h>

#include <string>

#include "proxy/normalise/charset.h"

namespace {

struct ScriptCase {
    const char* name;
    const char* contentType;
    const char* body;
    const char* language;  // of the text, as a lang attribute gives it
    const char* charset;   // the charset it must be read in
    const char* ascii;     // what the browser must show
};

const ScriptCase SCRIPT_CASES[] = {
    {"Japanese kana and kanji", "text/html; charset=shift_jis",
     "\x93\x8C\x8B\x9E\x82\xCC\x93V\x8B"
     "C\x82\xCD\x90\xB0\x82\xEA\x82\xC5\x82\xB7\x81"
     "B\x83J\x83^\x83J\x83i",
     "ja", "CP932", "dong jingno tian qiha qingredesu.katakana"},
    {"Chinese", "text/html; charset=gb2312", "\xB1\xB1\xBE\xA9\xBB\xB6\xD3\xAD\xC4\xE3", "zh-CN", "GBK",
     "bei jing huan ying ni"},
    {"Korean", "text/html; charset=euc-kr",
     "\xBE\xC8\xB3\xE7\xC7\xCF\xBC\xBC\xBF\xE4 \xC7\xD1\xB1\xB9\xBE\xEE", "ko", "CP949",
     "annyeonghaseyo hangug-eo"},
    {"Arabic", "text/html; charset=windows-1256", "\xE3\xD1\xCD\xC8\xC7 \xC8\xC7\xE1\xDA\xC7\xE1\xE3", "ar",
     "WINDOWS-1256", "mrhba bal'alm"},
    {"Hebrew", "text/html; charset=windows-1255", "\xF9\xEC\xE5\xED \xF2\xE5\xEC\xED", "he", "WINDOWS-1255",
     "slwm 'wlm"},
    {"Thai", "text/html; charset=tis-620", "\xCA\xC7\xD1\xCA\xB4\xD5", "th", "CP874", "swasdi"},
    {"Devanagari", "text/html; charset=utf-8",
     "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87 "
     "\xE0\xA4\xA6\xE0\xA5\x81\xE0\xA4\xA8\xE0\xA4\xBF\xE0\xA4\xAF\xE0\xA4\xBE",
     "hi", "UTF-8", "namaste duniya"},
    {"Greek", "text/html; charset=iso-8859-7", "\xCA\xE1\xEB\xE7\xEC\xDD\xF1\xE1 \xC1\xE8\xDE\xED\xE1", "",
     "ISO-8859-7", "Kalimera Athina"},
    {"Russian", "text/html; charset=koi8-r", "\xF6\xC9\xDA\xCE\xD8 \xD7 \xED\xCF\xD3\xCB\xD7\xC5", "",
     "KOI8-R", "Zhizn' v Moskve"},
    {"Ukrainian", "text/html; charset=windows-1251", "\xCA\xE8\xBF\xE2", "uk", "WINDOWS-1251", "Kyyiv"},
    {"German", "text/html; charset=iso-8859-1",
     "Gr\xFC\xDF"
     "e aus M\xFCnchen, \xC4RGER",
     "de-AT", "WINDOWS-1252", "Gruesse aus Muenchen, AERGER"},
    {"German, language unknown", "text/html; charset=iso-8859-1",
     "Gr\xFC\xDF"
     "e aus M\xFCnchen",
     "", "WINDOWS-1252", "Grusse aus Munchen"},
    {"French", "text/html; charset=windows-1252",
     "\xC7"
     "a co\xFBte tr\xE8s cher, \x9Cuvre na\xEFve",
     "fr", "WINDOWS-1252", "Ca coute tres cher, oeuvre naive"},
    {"Vietnamese", "text/html; charset=utf-8",
     "Ti\xE1\xBA\xBFng Vi\xE1\xBB\x87t r\xE1\xBA\xA5t \xC4\x91\xE1\xBA\xB9p", "vi", "UTF-8",
     "Tieng Viet rat dep"},
    {"Danish", "text/html; charset=utf-8",
     "Sm\xC3\xB8rrebr\xC3\xB8"
     "d p\xC3\xA5 \xC3\x86r\xC3\xB8",
     "da", "UTF-8", "Smoerrebroed paa Aeroe"},
    {"UTF-8 labelled gb2312", "text/html; charset=gb2312",
     "<p>\xE5\x8C\x97\xE4\xBA\xAC\xE6\xAC\xA2\xE8\xBF\x8E\xE4\xBD\xA0</p>", "", "UTF-8",
     "<p>bei jing huan ying ni</p>"},
    {"Latin-1 without a label", "text/html",
     "<p>Das Caf\xE9 in M\xFCnchen ist sch\xF6n, die Gr\xFC\xDF"
     "e herzlich.</p>",
     "de", "WINDOWS-1252", "<p>Das Cafe in Muenchen ist schoen, die Gruesse herzlich.</p>"},
    {"Shift_JIS without a label", "text/html",
     "<p>\x8D\xA1\x93\xFA\x82\xCD\x97\xC7\x82\xA2\x93V\x8B"
     "C\x82\xC5\x82\xB7\x81"
     "B\x93\xFA\x96{\x8C\xEA\x82\xCC\x83y\x81[\x83W\x82\xF0\x93\xC7\x82\xDD\x82\xDC\x82\xB7\x81"
     "B\x82\xD0\x82\xE7\x82\xAA\x82\xC8\x82\xC6\x83J\x83^"
     "\x83J\x83i\x82\xC6\x8A\xBF\x8E\x9A\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7\x81"
     "B</p>",
     "ja", "CP932",
     "<p>jin riha liangi tian qidesu.ri ben yunopejio dumimasu.hiraganatokatakanato han zigaarimasu.</p>"},
};

TEST(Scripts, EveryScriptIsReadableAscii) {
    for (const ScriptCase& c : SCRIPT_CASES) {
        SCOPED_TRACE(c.name);
        const wexaproxy::CharsetChoice choice = wexaproxy::detectCharset(c.contentType, c.body);
        EXPECT_EQ(choice.name, c.charset);
        EXPECT_EQ(wexaproxy::toAscii(wexaproxy::decodeToUtf8(c.body, choice.name), c.language), c.ascii);
    }
}

}  // namespace
