#pragma once
// A strict little JSON reader for checking comtrade-info --json: it accepts
// exactly the JSON grammar (RFC 8259) and throws std::runtime_error, with the
// offset, on anything else.

#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace KivTest {

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const
    {
        const auto it = members.find(key);
        if (kind != Object || it == members.end())
            throw std::runtime_error("no member \"" + key + "\"");
        return it->second;
    }
    const Json& operator[](std::size_t i) const
    {
        if (kind != Array || i >= items.size())
            throw std::runtime_error("no element " + std::to_string(i));
        return items[i];
    }
    bool isNull() const { return kind == Null; }
};

class JsonParser {
public:
    static Json parse(const std::string& text)
    {
        JsonParser p(text);
        p.space();
        Json value = p.value(0);
        p.space();
        if (p.pos_ != text.size())
            p.fail("text after the document");
        return value;
    }

private:
    explicit JsonParser(const std::string& text) : s_(text) {}

    [[noreturn]] void fail(const std::string& why) const
    {
        throw std::runtime_error("JSON: " + why + " at offset " + std::to_string(pos_));
    }
    void space()
    {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }
    char peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
    void expect(char c)
    {
        if (peek() != c)
            fail(std::string("expected '") + c + "'");
        ++pos_;
    }
    bool literal(const char* word)
    {
        const std::string w = word;
        if (s_.compare(pos_, w.size(), w) != 0)
            return false;
        pos_ += w.size();
        return true;
    }

    Json value(int depth)
    {
        if (depth > 64)
            fail("too deep");
        Json v;
        const char c = peek();
        if (c == '{') {
            v.kind = Json::Object;
            ++pos_;
            space();
            if (peek() == '}') {
                ++pos_;
                return v;
            }
            for (;;) {
                space();
                if (peek() != '"')
                    fail("expected a member name");
                std::string key = string();
                space();
                expect(':');
                space();
                if (v.members.count(key))
                    fail("duplicate member " + key);
                v.members[key] = value(depth + 1);
                space();
                if (peek() == ',') {
                    ++pos_;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.kind = Json::Array;
            ++pos_;
            space();
            if (peek() == ']') {
                ++pos_;
                return v;
            }
            for (;;) {
                space();
                v.items.push_back(value(depth + 1));
                space();
                if (peek() == ',') {
                    ++pos_;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = Json::String;
            v.text = string();
            return v;
        }
        if (literal("null"))
            return v;
        if (literal("true") || literal("false")) {
            v.kind = Json::Bool;
            v.boolean = s_[pos_ - 1] == 'e' && s_[pos_ - 2] == 'u';
            return v;
        }
        v.kind = Json::Number;
        v.number = number();
        return v;
    }

    double number()
    {
        const std::size_t start = pos_;
        auto digits = [&] {
            const std::size_t from = pos_;
            while (peek() >= '0' && peek() <= '9')
                ++pos_;
            return pos_ > from;
        };
        if (peek() == '-')
            ++pos_;
        if (peek() == '0')
            ++pos_;
        else if (!digits())
            fail("expected a value");
        if (peek() == '.') {
            ++pos_;
            if (!digits())
                fail("expected digits after '.'");
        }
        if (peek() == 'e' || peek() == 'E') {
            ++pos_;
            if (peek() == '+' || peek() == '-')
                ++pos_;
            if (!digits())
                fail("expected exponent digits");
        }
        return std::strtod(s_.substr(start, pos_ - start).c_str(), nullptr);
    }

    std::string string()
    {
        expect('"');
        std::string out;
        for (;;) {
            if (pos_ >= s_.size())
                fail("unterminated string");
            const auto c = static_cast<unsigned char>(s_[pos_++]);
            if (c == '"')
                return out;
            if (c < 0x20)
                fail("control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            const char e = pos_ < s_.size() ? s_[pos_++] : '\0';
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
                if (pos_ + 4 > s_.size())
                    fail("short \\u escape");
                const unsigned cp = static_cast<unsigned>(std::stoul(s_.substr(pos_, 4), nullptr, 16));
                pos_ += 4;
                if (cp >= 0xD800 && cp <= 0xDFFF)
                    fail("surrogate escapes are not produced by the tool");
                if (cp < 0x80) {
                    out += static_cast<char>(cp);
                } else if (cp < 0x800) {
                    out += static_cast<char>(0xC0 | (cp >> 6));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (cp >> 12));
                    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (cp & 0x3F));
                }
                break;
            }
            default:
                fail("bad escape");
            }
        }
    }

    const std::string& s_;
    std::size_t pos_ = 0;
};

} // namespace KivTest
