// apply: parameter files in the form show writes, applied all or none with set's judging.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/apply.hpp"
#include "app/cli.hpp"
#include "app/flow.hpp"
#include "app/image_io.hpp"
#include "eeprom/file.hpp"
#include "eeprom/params.hpp"
#include "support.hpp"

namespace ulo {
namespace {

using Dir = test::ScratchDir;

using test::Result;
using test::run;

std::string shown(const Wert& w, const std::string& name) {
    Item item{};
    std::string why;
    EXPECT_TRUE(parse_item(name, item, why)) << name;
    return show_line(w, item);
}

const std::string sample_path = ULOCFG_TEST_DATA "/../../examples/ulo.txt";

// The device's sample, whose vss_pulse_width of 10 ms no field produces.
Wert sample() {
    std::ifstream in(sample_path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Wert w{};
    EXPECT_TRUE(parse_image(text.str(), w));
    return w;
}

// The sample with its two values that no field produces brought into range, so that every
// line of its show can be applied.
Wert sample_in_range() {
    Wert w = sample();
    put(w, ParamId::vss_pulse_width, 0, 670);
    put(w, ParamId::crank_offset, 0, 60);
    return w;
}

// The sample with more values no field gives: a stored value the screen shows as another, a
// name with characters no key types, more cylinders than the field takes.
Wert sample_out_of_range() {
    Wert w = sample();
    put(w, ParamId::contrast, 0, 77);
    put(w, ParamId::cylinders, 3, 15);
    set_name_char(w, 1, 2, '@');
    set_name_char(w, 1, 3, 0x01);
    set_name_char(w, 1, 4, 0xF8); // JSON writes the screen's degree sign for it
    return w;
}

struct ApplyCase {
    const char* what;
    const char* file; // the parameter file, applied to the example image
    int status;
    const char* err;
    std::vector<const char*> after; // show lines of the image afterwards
};

const ApplyCase apply_cases[] = {
    {"show's own lines",
     "last_menu = 7\nwheel[2].cylinders = 6\nramp[1].time = 1.25 s\n",
     status_ok,
     "",
     {"last_menu = 7", "wheel[2].cylinders = 6", "ramp[1].time = 1.25 s"}},
    {"comments, blank and indented lines",
     "# car 7, summer set-up\n\n   # indented comment\n\t\nlast_menu = 9\n  \n",
     status_ok,
     "",
     {"last_menu = 9"}},
    {"units left out, no spaces around =",
     "max_poti_speed=3000\nbrightness = 60\nwheel[1].crank_offset=2.5\nramp[1].time = 4\n",
     status_ok,
     "",
     {"max_poti_speed = 3000 rpm", "brightness = 60 %", "wheel[1].crank_offset = 2.5 deg",
      "ramp[1].time = 4.00 s"}},
    {"a file written on Windows",
     "last_menu = 4\r\ncontrast = low\r\n",
     status_ok,
     "",
     {"last_menu = 4", "contrast = low"}},
    {"a byte-order mark before the first line of a Windows file",
     "\xEF\xBB\xBFlast_menu = 4\r\ncontrast = low\r\n",
     status_ok,
     "",
     {"last_menu = 4", "contrast = low"}},
    {"a byte-order mark further down",
     "last_menu = 4\n\xEF\xBB\xBFx = 1\n",
     status_rejected,
     "ulocfg: p:2: \xEF\xBB\xBFx = 1 is rejected: \xEF\xBB\xBFx is not a parameter.\n",
     {"last_menu = 3"}},
    {"control bytes in lines",
     "bogus\x1B]0;PWNED\a\x1B[2J\ncontrast = lo\tw\n",
     status_rejected,
     "ulocfg: p:1: bogus\\x1B]0;PWNED\\x07\\x1B[2J is rejected: a line is NAME = VALUE.\n"
     "ulocfg: p:2: contrast = lo\\x09w is rejected: contrast takes high or low.\n",
     {"contrast = high"}},
    {"a name left out",
     "wheel[1].name =\n",
     status_rejected,
     "ulocfg: p:1: wheel[1].name = is rejected: wheel[1].name has no value (\"\" blanks the "
     "name).\n",
     {"wheel[1].name = \"60-2 Crank      \""}},
    {"a stored value and a name with = and #",
     "brightness = 100 % (stored 55)\nwheel[2].name = \"a=b #c (q)\"\n",
     status_ok,
     "",
     {"brightness = 100 % (stored 55)", "wheel[2].name = \"a=b #c (q)      \""}},
    {"a line without =",
     "last_menu = 7\nlast_menu 8\n",
     status_rejected,
     "ulocfg: p:2: last_menu 8 is rejected: a line is NAME = VALUE.\n",
     {"last_menu = 3"}},
    {"an unknown name",
     "wheel[1].crank = 3\n",
     status_rejected,
     "ulocfg: p:1: wheel[1].crank = 3 is rejected: wheel[1].crank is not a parameter.\n",
     {}},
    {"a wheel configuration beyond 25",
     "# x\nwheel[26].cylinders = 4\n",
     status_rejected,
     "ulocfg: p:2: wheel[26].cylinders = 4 is rejected: wheel configurations are numbered "
     "1..25.\n",
     {}},
    {"a word the parameter does not take",
     "contrast = medium\n",
     status_rejected,
     "ulocfg: p:1: contrast = medium is rejected: contrast takes high or low.\n",
     {"contrast = high"}},
    {"another parameter's unit",
     "max_poti_speed = 3000 deg\n",
     status_rejected,
     "ulocfg: p:1: max_poti_speed = 3000 deg is rejected: max_poti_speed takes a whole number "
     "of rpm.\n",
     {"max_poti_speed = 6000 rpm"}},
    {"a name without its closing quote",
     "wheel[1].name = \"abc\n",
     status_rejected,
     "ulocfg: p:1: wheel[1].name = \"abc is rejected: wheel[1].name takes a name in double "
     "quotes (\\\" \\\\ \\xNN inside).\n",
     {"wheel[1].name = \"60-2 Crank      \""}},
    {"a name given twice",
     "last_menu = 1\n\nlast_menu = 2\n",
     status_rejected,
     "ulocfg: p:3: last_menu = 2 is rejected: last_menu is given twice.\n",
     {"last_menu = 3"}},
    {"a value out of range in the middle: nothing written",
     "last_menu = 7\nwheel[2].cylinders = 9\nramp[1].speed = 500\n",
     status_rejected,
     "ulocfg: p:2: wheel[2].cylinders = 9 is rejected: the field takes 2..8; use --force to store "
     "it anyway.\n",
     {"last_menu = 3", "wheel[2].cylinders = 0", "ramp[1].speed = 1000 rpm"}},
    {"every bad line named in one run",
     "x\nlast_menu = 200\ncontrast = 7\n",
     status_rejected,
     "ulocfg: p:1: x is rejected: a line is NAME = VALUE.\n"
     "ulocfg: p:2: last_menu = 200 is rejected: the field takes 0..10; use --force to store it "
     "anyway.\n"
     "ulocfg: p:3: contrast = 7 is rejected: contrast takes high or low.\n",
     {"last_menu = 3"}},
};

// Applies `text` (the lines of a parameter file, or with `json` a document) to a copy of the
// example image: the status, the messages, not a byte written on failure, and the show lines
// of the image afterwards. What the file holds then.
std::string expect_applied(const std::string& text, bool json, int status,
                           const std::string& messages, const std::vector<const char*>& after) {
    Dir dir;
    const std::string image = dir.put(test::example_image());
    const std::string before = dir.read();
    std::istringstream in(text);
    std::ostringstream err;
    EXPECT_EQ(json ? apply_text(in, "p", image, false, true, err)
                   : apply_lines(in, "p", image, false, err),
              status);
    EXPECT_EQ(err.str(), messages);
    if (status != status_ok) {
        EXPECT_EQ(dir.read(), before); // not a byte written
    }
    const Wert now = dir.image();
    for (const std::string line : after)
        EXPECT_EQ(shown(now, line.substr(0, line.find(" = "))), line);
    return dir.read();
}

TEST(Apply, LinesAsShowWritesThemAllOrNone) {
    for (const ApplyCase& c : apply_cases) {
        SCOPED_TRACE(c.what);
        expect_applied(c.file, false, c.status, c.err, c.after);
    }
}

// ---- apply --json ----------------------------------------------------------------------------

// One entry as show --json writes it.
std::string entry(const std::string& name, const std::string& value, const std::string& more = "") {
    return R"({"name": ")" + name + R"(", "value": )" + value + more + "}";
}

std::string general(const std::vector<std::string>& entries) {
    std::string list;
    for (const std::string& e : entries) list += (list.empty() ? "" : ", ") + e;
    return R"({"general": [)" + list + "]}";
}

struct JsonCase {
    const char* what;
    std::string document; // applied to the example image
    int status;
    std::string err;
    std::vector<const char*> after; // show lines of the image afterwards
};

const JsonCase json_cases[] = {
    {"jq's 60 and 3 where show --json wrote 60 and 3.0",
     general({entry("brightness", "60", R"(, "unit": "%", "stored": 50)"),
              entry("wheel[1].cam_width", "3", R"(, "unit": "deg", "stored": 30)"),
              entry("wheel[1].crank_offset", "12", R"(, "stored": 1200)")}),
     status_ok,
     "",
     {"brightness = 60 %", "wheel[1].cam_width = 3.0 deg", "wheel[1].crank_offset = 12.0 deg"}},
    {"a whole number in the form show --json wrote, as its stored number shows",
     general({entry("wheel[1].cam_width", "13", R"(, "stored": 141)"),
              entry("wheel[2].cam_width", "7", R"(, "stored": 30)")}),
     status_ok,
     "",
     {"wheel[1].cam_width = 13 deg", "wheel[2].cam_width = 7.0 deg"}},
    {"a decimal point kept where set takes it, dropped where it takes only whole numbers",
     general({entry("wheel[1].cam_width", "5.0", R"(, "stored": 141)"),
              entry("wheel[2].cam_width", "13.0", R"(, "stored": 30)"), entry("brightness", "60.0"),
              entry("ramp[1].speed", "1.5e3")}),
     status_ok,
     "",
     {"wheel[1].cam_width = 5.0 deg", "wheel[2].cam_width = 13 deg", "brightness = 60 %",
      "ramp[1].speed = 1500 rpm"}},
    {"without a stored number, in the form the image holds",
     general({entry("wheel[1].cam_width", "5"), entry("ramp[1].time", "4")}),
     status_ok,
     "",
     {"wheel[1].cam_width = 5.0 deg", "ramp[1].time = 4.00 s"}},
    {"a string as set takes it: whole degrees",
     general({entry("wheel[1].cam_width", R"("20")", R"(, "stored": 30)"),
              entry("max_poti_speed", R"("3000 rpm")")}),
     status_ok,
     "",
     {"wheel[1].cam_width = 20 deg", "max_poti_speed = 3000 rpm"}},
    {"true and false as yes/no and on/off, words as strings",
     general({entry("edit_mode_bit", "false"), entry("wheel[1].crank_flag", "true"),
              entry("contrast", R"("low")"), entry("wheel[1].cam_inversion", "true"),
              entry("can_id", R"("18DAF111")")}),
     status_ok,
     "",
     {"edit_mode_bit = off", "wheel[1].crank_flag = yes", "contrast = low",
      "wheel[1].cam_inversion = yes", "can_id = 18DAF111"}},
    {"a stored number the value shows as is kept; one it does not is dropped",
     general({entry("brightness", "100", R"(, "stored": 55)"),
              entry("wheel_select", "60", R"(, "stored": 3)")}),
     status_rejected,
     "ulocfg: p: wheel_select = 60 is rejected: the field takes 1..25; use --force to store it "
     "anyway.\n",
     {"brightness = 100 %"}},
    {"a stored number the value shows as",
     general({entry("brightness", "100", R"(, "stored": 55)"),
              entry("lis_inversion", R"("inv")", R"(, "stored": 1)")}),
     status_ok,
     "",
     {"brightness = 100 % (stored 55)", "lis_inversion = inv"}},
    {"a stored number wider than any parameter's",
     general({entry("brightness", "60", R"(, "stored": 9223372036854775807)"),
              entry("wheel[1].cam_width", "5", R"(, "stored": -9223372036854775807)")}),
     status_ok,
     "",
     {"brightness = 60 %", "wheel[1].cam_width = 5.0 deg"}},
    {"a wheel name in the screen's characters, get --json's document, a byte-order mark",
     "\xEF\xBB\xBF"
     R"({"parameters": [)" +
         entry("wheel[2].name", R"("Nocke = 7 #1")", R"(, "stored": [1, 2])") + "]}",
     status_ok,
     "",
     {"wheel[2].name = \"Nocke = 7 #1    \""}},
    {"a name with the screen's degree sign and one with no such character",
     general({entry("wheel[1].name", "\"a\xC2\xB0\""), entry("wheel[3].name", "\"\xE2\x82\xAC\"")}),
     status_rejected,
     "ulocfg: p: wheel[1].name = \"a\xC2\xB0\" is rejected: the field takes 16 characters: "
     "letters, digits, space, !#$%&'()*+,-./:;=?[]^_{}; use --force to store it anyway.\n"
     "ulocfg: p: wheel[3].name = \"\xE2\x82\xAC\" is rejected: wheel[3].name takes the characters "
     "the screen shows (code page 437).\n",
     {"wheel[1].name = \"60-2 Crank      \""}},
    {"values of the wrong type",
     general({entry("contrast", "1"), entry("brightness", "true"), entry("last_menu", "null"),
              entry("wheel[1].crank_flag", "[1]"), entry("wheel[1].name", "7")}),
     status_rejected,
     "ulocfg: p: contrast = 1 is rejected: contrast takes a string, not a number.\n"
     "ulocfg: p: brightness = true is rejected: brightness takes a number or a string, not true.\n"
     "ulocfg: p: last_menu = null is rejected: last_menu takes a number or a string, not null.\n"
     "ulocfg: p: wheel[1].crank_flag = [1] is rejected: wheel[1].crank_flag takes true, false or a "
     "string, not an array.\n"
     "ulocfg: p: wheel[1].name = 7 is rejected: wheel[1].name takes a string, not a number.\n",
     {"contrast = high"}},
    {"numbers set would refuse",
     general({entry("wheel[1].cam_width", "20", R"(, "stored": 30)"),
              entry("ramp[1].time", "1.255"), entry("brightness", "50")}),
     status_rejected,
     "ulocfg: p: wheel[1].cam_width = 20 is rejected: wheel[1].cam_width takes 0.1..12.5 deg, or "
     "12..125 whole degrees (no decimal point).\n"
     "ulocfg: p: ramp[1].time = 1.255 is rejected: ramp[1].time takes seconds with at most two "
     "decimals.\n"
     "ulocfg: p: brightness = 50 is rejected: brightness takes a percentage in steps of 20: 0, 20, "
     "40, 60, 80 or 100.\n",
     {"wheel[1].cam_width = 3.0 deg"}},
    {"entries that are none, a name unknown or given twice, one out of range: nothing written",
     R"({"general": [{"value": 1}, 4, )" + entry("last_menu", "7") + ", " +
         entry("wheel[1].nmae", R"("x")") + ", " + entry("last_menu", "8") + R"(], "wheels": [)" +
         R"({"wheel": 1, "parameters": [)" + entry("wheel[1].cylinders", "9") + "]}]}",
     status_rejected,
     "ulocfg: p: .general[0] is rejected: an entry is an object with a \"name\" and a \"value\".\n"
     "ulocfg: p: .general[1] is rejected: an entry is an object with a \"name\" and a \"value\".\n"
     "ulocfg: p: wheel[1].nmae = \"x\" is rejected: wheel[1].nmae is not a parameter; did you mean "
     "wheel[1].name?\n"
     "ulocfg: p: last_menu = 8 is rejected: last_menu is given twice.\n"
     "ulocfg: p: wheel[1].cylinders = 9 is rejected: the field takes 2..8; use --force to store it "
     "anyway.\n",
     {"last_menu = 3", "wheel[1].cylinders = 4"}},
    {"show's text",
     "last_menu = 7\n",
     status_rejected,
     "ulocfg: p is rejected: it is not JSON: parse error at line 1, column 1: syntax error while "
     "parsing value - invalid literal; last read: 'l'.\n",
     {"last_menu = 3"}},
    {"another command's document",
     R"({"differences": [], "bytes_outside": 0})",
     status_rejected,
     "ulocfg: p is rejected: \"differences\" is no part of what show --json writes (general, "
     "wheels, ramp).\n",
     {}},
    {"a part of the wrong shape",
     R"({"general": [], "wheels": [{"wheel": 1}]})",
     status_rejected,
     "ulocfg: p is rejected: .wheels[0] has no \"parameters\".\n",
     {}},
    {"an empty document", "{}", status_ok, "", {"last_menu = 3"}},
};

TEST(Apply, JsonDocumentsAsShowJsonWritesThemAllOrNone) {
    for (const JsonCase& c : json_cases) {
        SCOPED_TRACE(c.what);
        expect_applied(c.document, true, c.status, c.err, c.after);
    }
}

// show of one image applied to a very different one gives the first one's parameters, bit
// for bit, and leaves every other bit of the second alone: the ramp points beyond the first
// image's ramp_points, the bytes outside the parameters. Values outside their fields' ranges
// need --force.
TEST(Apply, ShowOfOneImageAppliedToAnotherGivesItsParametersByteForByte) {
    for (const bool in_range : {true, false})
        for (const bool json : {false, true}) {
            SCOPED_TRACE(json ? "show --json, apply --json" : "show, apply");
            Wert a = in_range ? sample_in_range() : sample_out_of_range();
            put(a, ParamId::ramp_points, 0, 3);
            put(a, ParamId::wheel_select, 0, 1);
            put(a, ParamId::tdc_cyl, 0, 2);
            EXPECT_EQ(check_image(a).size(), in_range ? 0u : 4u);
            for (unsigned more_points : {1u, 9u}) {
                SCOPED_TRACE(more_points);
                Wert b{};
                for (unsigned address = 0; address < eeprom_size; ++address)
                    b[address] = static_cast<std::uint8_t>(~a[address] ^ address);
                put(b, ParamId::ramp_points, 0, more_points);
                Dir dir;
                std::vector<std::string> show_args = {"show", dir.put(a, "a.txt")};
                if (json) show_args.push_back("--json");
                const Result show = run(show_args);
                ASSERT_EQ(show.status, status_ok);
                dir.write(show.out, "a.params");
                const std::string b_file = dir.put(b, "b.txt");
                std::vector<std::string> args = {"apply", dir / "a.params", "--file", b_file};
                if (json) args.push_back("--json");
                if (!in_range) {
                    const Result refused = run(args);
                    EXPECT_EQ(refused.status, status_rejected);
                    EXPECT_NE(
                        refused.err.find(json ? ": vss_pulse_width = 10 is rejected: the field "
                                                "takes 670..6700 ms; use --force to store it "
                                                "anyway.\n"
                                              : ":9: vss_pulse_width = 10 ms is rejected: the "
                                                "field takes 670..6700 ms; use --force to "
                                                "store it anyway.\n"),
                        std::string::npos)
                        << refused.err;
                    EXPECT_EQ(dir.image("b.txt"), b);
                    args.push_back("--force");
                }
                const Result applied = run(args);
                EXPECT_EQ(applied.status, status_ok) << applied.err;
                show_args[1] = dir / "b.txt";
                EXPECT_EQ(run(show_args).out, show.out);

                const Wert got = dir.image("b.txt");
                std::vector<unsigned> from_a(eeprom_size, 0);
                for (Item item : shown_items(a)) {
                    const Span s = span(item);
                    for (unsigned address = s.address; address < s.address + s.count; ++address)
                        from_a[address] |= s.mask;
                }
                for (unsigned address = 0; address < eeprom_size; ++address) {
                    const unsigned want =
                        (a[address] & from_a[address]) | (b[address] & ~from_a[address]);
                    ASSERT_EQ(got[address], want) << "address " << address;
                }
            }
        }
}

// The sample's own show applied to it changes nothing, its 10 ms included, and needs no
// --force; show --json through apply --json too.
TEST(Apply, ShowOfAnImageAppliedToItselfChangesNothing) {
    for (const Wert& image : {sample(), sample_out_of_range()})
        for (const std::vector<std::string>& json : {std::vector<std::string>{}, {"--json"}}) {
            Dir dir;
            const std::string path = dir.put(image);
            const std::string before = dir.read();
            std::vector<std::string> show = {"show", path},
                                     apply = {"apply", dir / "a.params", "-f", path};
            show.insert(show.end(), json.begin(), json.end());
            apply.insert(apply.end(), json.begin(), json.end());
            dir.write(run(show).out, "a.params");
            const Result applied = run(apply);
            EXPECT_EQ(applied.status, status_ok);
            EXPECT_EQ(applied.err, "");
            EXPECT_EQ(dir.read(), before);
        }
}

// ---- Parameter files written on Windows ----------------------------------------------------

// The bytes of UTF-16 text with its byte-order mark, as PowerShell's > and Notepad write it.
std::string utf16(std::u16string_view text, bool little) {
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += little ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

// The text with CR LF line ends.
template <class Char> std::basic_string<Char> crlf(std::basic_string_view<Char> text) {
    std::basic_string<Char> out;
    for (const Char c : text) {
        if (c == Char('\n')) out += Char('\r');
        out += c;
    }
    return out;
}

// The same parameters, with a comment of characters beyond Latin-1 (one beyond FFFF, whose
// UTF-16 is a surrogate pair) and of U+011A and U+0A0D, whose UTF-16 holds the bytes 1A and
// 0D 0A that a reader in text mode takes for an end and a line end.
constexpr std::u16string_view params16 =
    u"# Kurbelwelle \u00e9t\u00e9 \U0001F697 \u011a\u0a0d\nlast_menu = 4\ncontrast = low\n"
    u"wheel[2].name = \"Nockenwelle\"\nramp[1].time = 1.25 s\n";
constexpr std::string_view params8 =
    "# Kurbelwelle \xC3\xA9t\xC3\xA9 \xF0\x9F\x9A\x97 \xC4\x9A\xE0\xA8\x8D\nlast_menu = 4\n"
    "contrast = low\nwheel[2].name = \"Nockenwelle\"\nramp[1].time = 1.25 s\n";

TEST(Apply, FilesInUTF16WithTheirMarkGiveTheBytesUTF8Gives) {
    const std::pair<const char*, std::string> cases[] = {
        {"UTF-8", std::string(params8)},
        {"UTF-8, CR LF", crlf(params8)},
        {"UTF-8 with its mark, CR LF", "\xEF\xBB\xBF" + crlf(params8)},
        {"UTF-16LE", utf16(params16, true)},
        {"UTF-16LE, CR LF", utf16(crlf(params16), true)},
        {"UTF-16BE", utf16(params16, false)},
        {"UTF-16BE, CR LF", utf16(crlf(params16), false)},
    };
    std::string want;
    for (const auto& [what, file] : cases) {
        SCOPED_TRACE(what);
        const std::string got =
            expect_applied(file, false, status_ok, "",
                           {"last_menu = 4", "contrast = low",
                            "wheel[2].name = \"Nockenwelle     \"", "ramp[1].time = 1.25 s"});
        if (want.empty()) want = got;
        EXPECT_EQ(got, want);
    }
}

// UTF-16 that is no text, and UTF-16 without its mark: refused in a line or two, nothing
// written.
TEST(Apply, BrokenUTF16AndNULBytesAreRefusedInFewWords) {
    const std::string without_mark = utf16(u"last_menu = 4\r\n", true).substr(2);
    const struct {
        const char* what;
        std::string file;
        std::string err;
    } cases[] = {
        {"an odd number of bytes", utf16(u"last_menu = 4\n", true) + "\n",
         "ulocfg: p is rejected: its UTF-16 text has an odd number of bytes.\n"},
        {"a high surrogate without its low one, at the end", utf16(u"last_menu = 4\n\xD83D", true),
         "ulocfg: p is rejected: its UTF-16 text holds a lone surrogate (D83D) in line 2.\n"},
        {"a low surrogate alone", utf16(u"# \xDC00\nlast_menu = 4\n", false),
         "ulocfg: p is rejected: its UTF-16 text holds a lone surrogate (DC00) in line 1.\n"},
        {"two high surrogates", utf16(u"\n\n# \xD83D\xD83D\xDE97\n", true),
         "ulocfg: p is rejected: its UTF-16 text holds a lone surrogate (D83D) in line 3.\n"},
        // the NUL after the last line end is a line of its own
        {"UTF-16LE without its mark", without_mark + without_mark,
         "ulocfg: p:1: the line is rejected: it holds NUL bytes; is the file UTF-16 text "
         "without a byte-order mark?\n"
         "ulocfg: p:2: the line is rejected: it holds NUL bytes; is the file UTF-16 text "
         "without a byte-order mark?\n"
         "ulocfg: p:3: the line is rejected: it holds NUL bytes; is the file UTF-16 text "
         "without a byte-order mark?\n"},
        {"UTF-16BE without its mark", utf16(u"# x\r\nlast_menu = 4\r\n", false).substr(2),
         "ulocfg: p:1: the line is rejected: it holds NUL bytes; is the file UTF-16 text "
         "without a byte-order mark?\n"
         "ulocfg: p:2: the line is rejected: it holds NUL bytes; is the file UTF-16 text "
         "without a byte-order mark?\n"},
        {"a NUL in UTF-8", std::string("last_menu = 4\0\n", 15),
         "ulocfg: p:1: the line is rejected: it holds NUL bytes; is the file UTF-16 text "
         "without a byte-order mark?\n"},
        {"a NUL in UTF-16", utf16(std::u16string_view(u"last_menu = \0\n", 14), true),
         "ulocfg: p:1: the line is rejected: it holds NUL bytes.\n"},
        {"a character no name takes, decoded", utf16(u"wheel[1].name = \"\u00e4\"\n", true),
         "ulocfg: p:1: wheel[1].name = \"\xC3\xA4\" is rejected: the field takes 16 characters: "
         "letters, digits, space, !#$%&'()*+,-./:;=?[]^_{}; use --force to store it anyway.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expect_applied(c.file, false, status_rejected, c.err, {});
    }
}

// ---- A file of junk -------------------------------------------------------------------------

// The first 20 rejected lines are named, the rest counted in one line: of every kind, and
// however long.
TEST(Apply, NamesTheFirstTwentyRejectedLinesAndCountsTheRest) {
    std::string twenty;
    for (int k = 1; k <= 20; ++k) twenty += 'x' + std::to_string(k) + '\n';
    const std::string huge_name(1 << 20, 'w');
    const struct {
        const char* what;
        std::string file;
        std::size_t lines; // of messages
        std::string last;  // the last one
    } cases[] = {
        {"twenty", twenty, 20, "ulocfg: p:20: x20 is rejected: a line is NAME = VALUE.\n"},
        {"twenty and a good line", twenty + "last_menu = 4\n", 20,
         "ulocfg: p:20: x20 is rejected: a line is NAME = VALUE.\n"},
        {"twenty-one", twenty + "\n# x\n" + "x21\n", 21,
         "ulocfg: p: 1 more line is rejected (not shown)\n"},
        {"one more of each kind",
         twenty + "x\nbogus = 1\nwheel[1].cylinders = 9\nlast_menu = 4\nlast_menu = 5\n" +
             std::string("last_menu\0 = 4\n", 15) + "wheel[1].nmae = \"a\"\n" + huge_name +
             " = 1\n",
         21, "ulocfg: p: 7 more lines are rejected (not shown)\n"},
        {"a name of a megabyte among the named", huge_name + "=1\n", 1,
         "ulocfg: p:1: " + huge_name + "=1 is rejected: " + huge_name + " is not a parameter.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Dir dir;
        const std::string image = dir.put(test::example_image());
        const std::string before = dir.read();
        std::istringstream lines(c.file);
        std::ostringstream err;
        EXPECT_EQ(apply_lines(lines, "p", image, false, err), status_rejected);
        const std::string text = err.str();
        EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), c.lines);
        EXPECT_TRUE(text.ends_with(c.last))
            << text.substr(text.size() - std::min<std::size_t>(text.size(), 200));
        EXPECT_EQ(dir.read(), before);
    }
}

TEST(Apply, StatusesOfTheCommandLine) {
    Dir dir;
    dir.put(test::example_image());
    dir.write("ULO EEPROM Memory: 00h", "short.txt");
    dir.write("last_menu = 5\n", "p");
    dir.write("x\n", "q\x1B[2J");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"apply", dir / "p", "--file", dir / "ulo.txt"}, status_ok, ""},
        {{"apply", dir / "missing", "--file", dir / "ulo.txt"},
         status_cannot_open,
         "ulocfg: cannot open " + dir / "missing" + ": No such file or directory\n"},
        {{"apply", dir.path.string(), "--file", dir / "ulo.txt"},
         status_cannot_open,
         "ulocfg: cannot read " + dir.path.string() + ": Is a directory\n"},
        {{"apply", dir / "p", "--file", dir / "none.txt"},
         status_cannot_open,
         "ulocfg: cannot open " + dir / "none.txt" + ": No such file or directory\n"},
        {{"apply", dir / "p", "--file", dir / "short.txt"},
         status_incorrect,
         "ulocfg: " + dir / "short.txt" + ": EEPROM textfile incorrect (not 2048 byte tokens)\n"},
        {{"apply", dir / "q\x1B[2J", "--file", dir / "none\a.txt"},
         status_cannot_open,
         "ulocfg: " + dir / "q\\x1B[2J" + ":1: x is rejected: a line is NAME = VALUE.\n" +
             "ulocfg: cannot open " + dir / "none\\x07.txt" + ": No such file or directory\n"},
        {{"apply"},
         status_usage,
         "ulocfg: apply takes one parameter file\nTry 'ulocfg apply --help'.\n"},
        {{"apply", "p", "q"},
         status_usage,
         "ulocfg: apply takes one parameter file\nTry 'ulocfg apply --help'.\n"},
        {{"apply", "--json", dir / "p", "--file", dir / "ulo.txt"},
         status_rejected,
         "ulocfg: " + dir / "p" +
             " is rejected: it is not JSON: parse error at line 1, column 1: syntax error while "
             "parsing value - invalid literal; last read: 'l'.\n"},
        {{"apply", "--json", dir / "p", "--file", dir / "short.txt"},
         status_incorrect,
         "ulocfg: " + dir / "p" +
             " is rejected: it is not JSON: parse error at line 1, column 1: syntax error while "
             "parsing value - invalid literal; last read: 'l'.\n"
             "ulocfg: " +
             dir / "short.txt" + ": EEPROM textfile incorrect (not 2048 byte tokens)\n"},
        {{"apply", "p", "--json", "--value"},
         status_usage,
         "ulocfg: apply has no --value\nTry 'ulocfg apply --help'.\n"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1];
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(shown(dir.image(), "last_menu"), "last_menu = 5");
}

} // namespace
} // namespace ulo
