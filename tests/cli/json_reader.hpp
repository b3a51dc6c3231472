// A strict reader of JSON text (RFC 8259) for checking what maxhost writes:
// anything the grammar does not allow, trailing text included, fails the
// parse instead of being guessed at.  Strings come back as UTF-8, numbers
// as doubles.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace json {

struct Value {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool b = false;
    double n = 0;
    std::string s;
    std::vector<Value> items;
    std::map<std::string, Value> members;
    std::vector<std::string> keys;  // in the order written

    bool is_null() const { return kind == Null; }
    const Value &operator[](const std::string &key) const {
        static const Value missing;
        auto it = members.find(key);
        return it == members.end() ? missing : it->second;
    }
    const Value &operator[](std::size_t k) const { return items.at(k); }
};

class Reader {
public:
    explicit Reader(std::string_view text) : t_(text) {}

    std::optional<Value> document() {
        Value v;
        if (!value(v)) return std::nullopt;
        space();
        if (i_ != t_.size()) return std::nullopt;
        return v;
    }

private:
    void space() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r')) ++i_;
    }
    bool literal(std::string_view w) {
        if (t_.substr(i_, w.size()) != w) return false;
        i_ += w.size();
        return true;
    }

    bool value(Value &v) {
        space();
        if (i_ >= t_.size()) return false;
        const char c = t_[i_];
        if (c == '{') return object(v);
        if (c == '[') return array(v);
        if (c == '"') {
            v.kind = Value::String;
            return string(v.s);
        }
        if (literal("null")) return v.kind = Value::Null, true;
        if (literal("true")) return v.kind = Value::Bool, v.b = true, true;
        if (literal("false")) return v.kind = Value::Bool, v.b = false, true;
        v.kind = Value::Number;
        return number(v.n);
    }

    bool object(Value &v) {
        v.kind = Value::Object;
        ++i_;
        space();
        if (i_ < t_.size() && t_[i_] == '}') return ++i_, true;
        for (;;) {
            space();
            std::string key;
            if (i_ >= t_.size() || t_[i_] != '"' || !string(key)) return false;
            space();
            if (i_ >= t_.size() || t_[i_++] != ':') return false;
            Value member;
            if (!value(member) || v.members.count(key)) return false;
            v.keys.push_back(key);
            v.members.emplace(key, std::move(member));
            space();
            if (i_ >= t_.size()) return false;
            if (t_[i_] == '}') return ++i_, true;
            if (t_[i_++] != ',') return false;
        }
    }

    bool array(Value &v) {
        v.kind = Value::Array;
        ++i_;
        space();
        if (i_ < t_.size() && t_[i_] == ']') return ++i_, true;
        for (;;) {
            Value item;
            if (!value(item)) return false;
            v.items.push_back(std::move(item));
            space();
            if (i_ >= t_.size()) return false;
            if (t_[i_] == ']') return ++i_, true;
            if (t_[i_++] != ',') return false;
        }
    }

    static void put_utf8(std::string &out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(uint32_t &cp) {
        if (t_.size() - i_ < 4) return false;
        cp = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = t_[i_++];
            cp <<= 4;
            if (h >= '0' && h <= '9')
                cp |= static_cast<uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                cp |= static_cast<uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                cp |= static_cast<uint32_t>(h - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    // Raw bytes are taken as they stand (the writer's UTF-8 is checked by
    // the tests themselves); control characters must be escaped.
    bool string(std::string &out) {
        ++i_;
        while (i_ < t_.size()) {
            const auto c = static_cast<unsigned char>(t_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (i_ >= t_.size()) return false;
            const char e = t_[i_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                uint32_t cp;
                if (!hex4(cp)) return false;
                if (cp >= 0xD800 && cp < 0xDC00) {
                    uint32_t lo;
                    if (!literal("\\u") || !hex4(lo) || lo < 0xDC00 || lo > 0xDFFF) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    return false;
                }
                put_utf8(out, cp);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    bool number(double &out) {
        const std::size_t start = i_;
        auto digit = [&] { return i_ < t_.size() && t_[i_] >= '0' && t_[i_] <= '9'; };
        if (i_ < t_.size() && t_[i_] == '-') ++i_;
        if (!digit()) return false;
        if (t_[i_] == '0') {
            ++i_;
        } else {
            while (digit()) ++i_;
        }
        if (i_ < t_.size() && t_[i_] == '.') {
            ++i_;
            if (!digit()) return false;
            while (digit()) ++i_;
        }
        if (i_ < t_.size() && (t_[i_] == 'e' || t_[i_] == 'E')) {
            ++i_;
            if (i_ < t_.size() && (t_[i_] == '+' || t_[i_] == '-')) ++i_;
            if (!digit()) return false;
            while (digit()) ++i_;
        }
        out = std::strtod(std::string(t_.substr(start, i_ - start)).c_str(), nullptr);
        return true;
    }

    std::string_view t_;
    std::size_t i_ = 0;
};

inline std::optional<Value> parse(std::string_view text) { return Reader(text).document(); }

}  // namespace json
