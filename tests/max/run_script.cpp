// Runs a patch script through Max externals loaded into the stand-in for
// Max, for comparison with what the headless host makes of the same script:
//
//   maxad_run EXTERNALS_DIR SCRIPT
//
// It reads the part of maxhost's script language that the comparisons
// need: new NAME CLASS ARGS, path DIR, signal NAME INLET VALUE, dsp SR VS,
// send NAME MESSAGES (commas between messages), ticks N, write NAME FILE.
// A CLASS is loaded from EXTERNALS_DIR/CLASS.so (Linux) or CLASS.mxe64
// (Windows, under Wine).  As in maxhost, each line is one event, after
// which the deferred calls run; the outlets' messages go to standard output
// in maxhost's form ("NAME OUTLET: SELECTOR ATOMS...", as Max received
// them: a list maxhost prints as "list NAME TIME" is the message "NAME
// TIME" here, which compare_runs.cmake allows for), console lines to
// standard error in its form too ("error: TEXT").  Every signal
// inlet given a value is connected (count 1) and carries that value, the
// others are not (count 0); the outlets of every tick are kept and written
// as a 32-bit float WAVE file.  The exit status is 1 when the script
// cannot be run or the stand-in found a fault.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "script_lexer.hpp"
#include "standin.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using maxhost::Token;

struct Box {
    void *obj = nullptr;
    std::map<int, double> signals;             // inlet -> constant value
    std::vector<std::vector<float>> recorded;  // per outlet
};

double sample_rate = 0.0;
long vector_size = 0;

void put_u32(std::ofstream &out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put_u16(std::ofstream &out, uint16_t v) {
    out.put(static_cast<char>(v & 0xFF));
    out.put(static_cast<char>(v >> 8));
}

// A plain WAVE file of IEEE floats: RIFF, fmt (format 3), data.
bool write_wav(const std::string &path, const std::vector<std::vector<float>> &channels, double sr) {
    std::ofstream out(path, std::ios::binary);
    if (!out || channels.empty()) return false;
    const auto n_ch = static_cast<uint16_t>(channels.size());
    const std::size_t frames = channels[0].size();
    const auto data_bytes = static_cast<uint32_t>(frames * n_ch * 4);
    out.write("RIFF", 4);
    put_u32(out, 36 + data_bytes);
    out.write("WAVEfmt ", 8);
    put_u32(out, 16);
    put_u16(out, 3);
    put_u16(out, n_ch);
    put_u32(out, static_cast<uint32_t>(sr));
    put_u32(out, static_cast<uint32_t>(sr) * n_ch * 4);
    put_u16(out, static_cast<uint16_t>(n_ch * 4));
    put_u16(out, 32);
    out.write("data", 4);
    put_u32(out, data_bytes);
    for (std::size_t k = 0; k < frames; ++k) {
        for (const auto &ch : channels) {
            uint32_t bits = 0;
            std::memcpy(&bits, &ch[k], 4);
            put_u32(out, bits);
        }
    }
    return static_cast<bool>(out);
}

std::string format_value(const standin::Value &v) {
    switch (v.kind) {
    case standin::Value::Long: return maxhost::format_int(static_cast<int32_t>(v.l));
    case standin::Value::Float: return maxhost::format_float(static_cast<float>(v.f));
    case standin::Value::Sym: return maxhost::format_symbol(v.s);
    }
    return "?";
}

// What the outlets sent during the event, as maxhost prints it.
void print_sent(const std::map<std::string, Box> &boxes) {
    for (const standin::Sent &m : standin::sent()) {
        std::string name = "?";
        for (const auto &[n, b] : boxes) {
            if (b.obj == m.object) name = n;
        }
        std::string text = maxhost::format_symbol(name) + " " + std::to_string(m.outlet) + ": " +
                           maxhost::format_symbol(m.selector);
        for (const standin::Value &v : m.atoms) text += " " + format_value(v);
        std::printf("%s\n", text.c_str());
    }
}

standin::Value to_value(const Token &t) {
    if (t.kind == Token::Int) return standin::l(t.i);
    if (t.kind == Token::Float) return standin::f(t.f);
    return standin::s(t.text);
}

std::vector<short> counts_of(const Box &b) {
    std::vector<short> counts(static_cast<std::size_t>(standin::signal_inlets(b.obj)), 0);
    for (const auto &[inlet, value] : b.signals) counts[static_cast<std::size_t>(inlet)] = 1;
    return counts;
}

void tick(Box &b) {
    const int inlets = standin::signal_inlets(b.obj);
    std::vector<std::vector<double>> ins(static_cast<std::size_t>(inlets));
    for (int i = 0; i < inlets; ++i) {
        auto it = b.signals.find(i);
        ins[static_cast<std::size_t>(i)].assign(static_cast<std::size_t>(vector_size),
                                                it == b.signals.end() ? 0.0 : it->second);
    }
    std::vector<std::vector<double>> outs(b.recorded.size());
    standin::tick(b.obj, ins, outs);
    for (std::size_t j = 0; j < outs.size(); ++j) {
        for (double v : outs[j]) b.recorded[j].push_back(static_cast<float>(v));
    }
}

// Console lines to standard error, as maxhost prints them; true when the
// stand-in itself found a fault.
bool report_console() {
    bool faults = false;
    for (const standin::Line &l : standin::console()) {
        std::fprintf(stderr, "%s%s\n", l.kind == standin::Line::Post ? "" : "error: ", l.text.c_str());
        faults = faults || l.text.rfind("stand-in:", 0) == 0;
    }
    standin::clear_logs();
    return faults;
}

}  // namespace

int main(int argc, char **argv) {
#ifdef _WIN32
    // Lines end as on Linux, so that the two runs compare byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    if (argc != 3) {
        std::fprintf(stderr, "usage: maxad_run EXTERNALS_DIR SCRIPT\n");
        return 2;
    }
    const std::string dir = argv[1];
#ifdef _WIN32
    const char *suffix = ".mxe64";
#else
    const char *suffix = ".so";
#endif
    std::ifstream script(argv[2]);
    if (!script) {
        std::fprintf(stderr, "maxad_run: cannot read %s\n", argv[2]);
        return 2;
    }
    std::map<std::string, Box> boxes;
    std::map<std::string, bool> loaded;
    std::string line;
    int line_no = 0;
    bool errors = false;
    auto fail = [&](const std::string &what) {
        std::fprintf(stderr, "maxad_run: %s:%d: %s\n", argv[2], line_no, what.c_str());
        return 1;
    };
    while (std::getline(script, line)) {
        ++line_no;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<Token> t;
        maxhost::LexError err;
        if (!maxhost::lex_line(line, t, &err)) return fail(err.message);
        if (t.empty()) continue;
        const std::string &cmd = t[0].text;
        if (cmd == "new" && t.size() >= 3) {
            const std::string &cls = t[2].text;
            if (!loaded[cls] && !(loaded[cls] = standin::load(dir + "/" + cls + suffix)))
                return fail("cannot load " + cls);
            std::vector<standin::Value> args;
            for (std::size_t k = 3; k < t.size(); ++k) args.push_back(to_value(t[k]));
            Box b;
            b.obj = standin::create(cls, args);
            if (!b.obj) return fail("the box was refused");
            b.recorded.resize(static_cast<std::size_t>(standin::outlet_count(b.obj)));
            boxes[t[1].text] = std::move(b);
        } else if (cmd == "path" && t.size() == 2) {
            standin::add_search_folder(std::filesystem::absolute(t[1].text).lexically_normal().string());
        } else if (cmd == "signal" && t.size() == 4 && boxes.count(t[1].text)) {
            const Token &v = t[3];
            boxes[t[1].text].signals[t[2].i] = v.kind == Token::Int ? static_cast<float>(v.i) : v.f;
        } else if (cmd == "dsp" && t.size() == 3) {
            sample_rate = t[1].kind == Token::Int ? t[1].i : t[1].f;
            vector_size = t[2].i;
            for (auto &[name, b] : boxes) standin::compile(b.obj, sample_rate, vector_size, counts_of(b));
        } else if (cmd == "send" && t.size() >= 3 && boxes.count(t[1].text)) {
            std::vector<std::vector<Token>> messages(1);
            for (std::size_t k = 2; k < t.size(); ++k) {
                if (t[k].kind == Token::Comma) {
                    messages.emplace_back();
                } else {
                    messages.back().push_back(t[k]);
                }
            }
            for (const auto &m : messages) {
                if (m.empty()) continue;
                std::vector<standin::Value> args;
                // As a message box sends them: a symbol first is the
                // selector, one number alone an int or a float.
                std::string selector = "list";
                std::size_t first = 0;
                if (m[0].kind == Token::Symbol) {
                    selector = m[0].text;
                    first = 1;
                } else if (m.size() == 1) {
                    selector = m[0].kind == Token::Int ? "int" : "float";
                }
                for (std::size_t k = first; k < m.size(); ++k) args.push_back(to_value(m[k]));
                standin::send(boxes[t[1].text].obj, selector, args);
            }
        } else if (cmd == "ticks" && t.size() == 2) {
            for (int32_t k = 0; k < t[1].i; ++k) {
                for (auto &[name, b] : boxes) tick(b);
            }
        } else if (cmd == "write" && t.size() == 3 && boxes.count(t[1].text)) {
            if (!write_wav(t[2].text, boxes[t[1].text].recorded, sample_rate))
                return fail("cannot write " + t[2].text);
        } else {
            return fail("not a command this driver reads: " + line);
        }
        standin::run_queue();
        print_sent(boxes);
        errors = report_console() || errors;
    }
    for (auto &[name, b] : boxes) standin::destroy(b.obj);
    standin::run_queue();
    errors = report_console() || errors;
    return errors ? 1 : 0;
}
