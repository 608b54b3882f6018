#pragma once

#include "core/Error.h"

#include <QByteArray>
#include <QString>

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace pxt {

// Text that is not JSON: "it is not JSON (<what> at offset <n>)".
class JsonSyntaxError : public Error {
public:
    using Error::Error;
};

// A strict pull reader of JSON over UTF-8 text: the caller asks for the value at hand by its type and
// walks objects and arrays itself, so a document is read straight into its own structures. Values
// nobody asked for are skipped in a loop, however deeply they nest. Every fault throws JsonSyntaxError.
class JsonReader {
public:
    enum Type { String, Number, Bool, Null, Object, Array };

    // Reads text in place: the text must outlive the reader.
    explicit JsonReader(const QByteArray& text) : m_begin(text.constData()), m_p(m_begin), m_end(m_begin + text.size()) {}
    explicit JsonReader(QByteArray&&) = delete;

    Type peek()
    {
        skipSpace();
        if (m_p == m_end)
            syntax("unexpected end");
        switch (*m_p) {
        case '"': return String;
        case '{': return Object;
        case '[': return Array;
        case 't':
        case 'f': return Bool;
        case 'n': return Null;
        default:
            if (*m_p == '-' || (*m_p >= '0' && *m_p <= '9'))
                return Number;
            syntax("unexpected character");
        }
    }

    void expectEnd()
    {
        skipSpace();
        if (m_p != m_end)
            syntax("text after the value");
    }

    QString string()
    {
        ++m_p; // the opening quote
        const char* start = m_p;
        while (m_p < m_end && *m_p != '"' && *m_p != '\\' && uchar(*m_p) >= 0x20)
            ++m_p;
        if (m_p < m_end && *m_p == '"')
            return QString::fromUtf8(start, m_p++ - start);
        QString out = QString::fromUtf8(start, m_p - start);
        for (;;) {
            if (m_p == m_end)
                syntax("unterminated string");
            const uchar c = uchar(*m_p);
            if (c == '"') {
                ++m_p;
                return out;
            }
            if (c < 0x20)
                syntax("control character in a string");
            if (c != '\\') {
                start = m_p;
                while (m_p < m_end && *m_p != '"' && *m_p != '\\' && uchar(*m_p) >= 0x20)
                    ++m_p;
                out += QString::fromUtf8(start, m_p - start);
                continue;
            }
            if (++m_p == m_end)
                syntax("unterminated string");
            switch (*m_p++) {
            case '"': out += QLatin1Char('"'); break;
            case '\\': out += QLatin1Char('\\'); break;
            case '/': out += QLatin1Char('/'); break;
            case 'b': out += QLatin1Char('\b'); break;
            case 'f': out += QLatin1Char('\f'); break;
            case 'n': out += QLatin1Char('\n'); break;
            case 'r': out += QLatin1Char('\r'); break;
            case 't': out += QLatin1Char('\t'); break;
            case 'u': {
                if (m_end - m_p < 4)
                    syntax("bad escape");
                char16_t u = 0;
                for (int i = 0; i < 4; ++i) {
                    const char h = *m_p++;
                    const int d = h >= '0' && h <= '9' ? h - '0'
                                : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                       : -1;
                    if (d < 0)
                        syntax("bad escape");
                    u = char16_t(u * 16 + d);
                }
                out += QChar(u); // a surrogate pair arrives as two escapes
                break;
            }
            default: syntax("bad escape");
            }
        }
    }

    double number()
    {
        const char* start = m_p;
        while (m_p < m_end && ((*m_p >= '0' && *m_p <= '9') || *m_p == '-' || *m_p == '+' || *m_p == '.' || *m_p == 'e' || *m_p == 'E'))
            ++m_p;
        double v = 0;
        const auto [end, ec] = std::from_chars(start, m_p, v);
        if (ec != std::errc() || end != m_p || !std::isfinite(v))
            syntax("bad number");
        return v;
    }

    bool boolean()
    {
        if (literal("true"))
            return true;
        if (literal("false"))
            return false;
        syntax("unexpected character");
    }

    void null()
    {
        if (!literal("null"))
            syntax("unexpected character");
    }

    // Calls f(key) for each member of the object at hand; f reads or skips the value.
    template <class F>
    void object(F f)
    {
        ++m_p;
        if (peekPunctuation() == '}') {
            ++m_p;
            return;
        }
        for (;;) {
            if (peek() != String)
                syntax("expected a member name");
            const QString key = string();
            if (peekPunctuation() != ':')
                syntax("expected ':'");
            ++m_p;
            f(key);
            const char c = peekPunctuation();
            ++m_p;
            if (c == '}')
                return;
            if (c != ',')
                syntax("expected ',' or '}'");
        }
    }

    // The elements of the array at hand, one at a time: next() is false at its end.
    class ArrayCursor {
    public:
        explicit ArrayCursor(JsonReader& r) : m_r(r) { ++m_r.m_p; }
        bool next()
        {
            if (m_done)
                return false;
            const char c = m_r.peekPunctuation();
            if (c == ']') {
                ++m_r.m_p;
                m_done = true;
                return false;
            }
            if (!m_first) {
                if (c != ',')
                    m_r.syntax("expected ',' or ']'");
                ++m_r.m_p;
            }
            m_first = false;
            return true;
        }

    private:
        JsonReader& m_r;
        bool m_first = true;
        bool m_done = false;
    };

    // Reads past the value at hand, however deeply it nests.
    void skip()
    {
        std::vector<char> open; // the closing character of each container we are in
        for (;;) {
            switch (peek()) {
            case String: string(); break;
            case Number: number(); break;
            case Bool: boolean(); break;
            case Null: null(); break;
            case Object:
                ++m_p;
                if (peekPunctuation() == '}') {
                    ++m_p;
                    break;
                }
                open.push_back('}');
                memberName();
                continue;
            case Array:
                ++m_p;
                if (peekPunctuation() == ']') {
                    ++m_p;
                    break;
                }
                open.push_back(']');
                continue;
            }
            for (;;) {
                if (open.empty())
                    return;
                const char c = peekPunctuation();
                ++m_p;
                if (c == ',') {
                    if (open.back() == '}')
                        memberName();
                    break;
                }
                if (c != open.back())
                    syntax("expected ',' or the end of a list");
                open.pop_back();
            }
        }
    }

private:
    friend class ArrayCursor;

    // Throws JsonSyntaxError naming what and where.
    [[noreturn]] void syntax(const char* what) const;
    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }
    char peekPunctuation()
    {
        skipSpace();
        if (m_p == m_end)
            syntax("unexpected end");
        return *m_p;
    }
    bool literal(const char* word)
    {
        const qsizetype n = qsizetype(qstrlen(word));
        if (m_end - m_p < n || std::memcmp(m_p, word, size_t(n)) != 0)
            return false;
        m_p += n;
        return true;
    }
    void memberName()
    {
        if (peek() != String)
            syntax("expected a member name");
        string();
        if (peekPunctuation() != ':')
            syntax("expected ':'");
        ++m_p;
    }

private:
    const char* m_begin;
    const char* m_p;
    const char* m_end;
};

} // namespace pxt
