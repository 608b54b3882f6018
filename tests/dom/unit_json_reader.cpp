#include "dom/JsonReader.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using pxt::JsonReader;
using pxt::JsonSyntaxError;

namespace {

// Reads any value back as compact text, so a table can state what the reader saw.
QString readBack(JsonReader& r)
{
    switch (r.peek()) {
    case JsonReader::String: return QLatin1Char('"') + r.string() + QLatin1Char('"');
    case JsonReader::Number: return QString::number(r.number());
    case JsonReader::Bool: return r.boolean() ? QStringLiteral("true") : QStringLiteral("false");
    case JsonReader::Null: r.null(); return QStringLiteral("null");
    case JsonReader::Object: {
        QStringList members;
        r.object([&](const QString& key) { members << key + QLatin1Char(':') + readBack(r); });
        return QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
    }
    case JsonReader::Array: {
        QStringList items;
        JsonReader::ArrayCursor c(r);
        while (c.next())
            items << readBack(r);
        return QLatin1Char('[') + items.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    }
    return {};
}

QString read(const QByteArray& text)
{
    JsonReader r(text);
    const QString out = readBack(r);
    r.expectEnd();
    return out;
}

} // namespace

TEST(JsonReader, ReadsEveryKindOfValue)
{
    struct Case {
        QByteArray text;
        QString expected;
    };
    const Case cases[] = {
        {" { \"a\" : [1, -2.5, 1e3, true, false, null], \"b\": {} , \"c\":[]}\r\n",
         "{a:[1,-2.5,1000,true,false,null],b:{},c:[]}"},
        {R"("tab\tquote\"slash\/back\\")", "\"tab\tquote\"slash/back\\\""},
        {R"("\u00e9\u65e5")", QStringLiteral("\"\u00e9\u65e5\"")},
        // A character outside the basic plane arrives as two escapes, or as its UTF-8 bytes.
        {R"("\ud83d\ude00")", QStringLiteral("\"\U0001F600\"")},
        {"\"\xf0\x9f\x98\x80\"", QStringLiteral("\"\U0001F600\"")},
        {"\"\"", "\"\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(read(c.text), c.expected) << c.text.toStdString();
}

TEST(JsonReader, FaultsNameWhatAndWhere)
{
    struct Case {
        QByteArray text;
        QString expected;
    };
    const Case cases[] = {
        {"", "it is not JSON (unexpected end at offset 0)"},
        {"[1,]", "it is not JSON (unexpected character at offset 3)"},
        {"[1 2]", "it is not JSON (expected ',' or ']' at offset 3)"},
        {"{\"a\" 1}", "it is not JSON (expected ':' at offset 5)"},
        {"{1:2}", "it is not JSON (expected a member name at offset 1)"},
        {"\"open", "it is not JSON (unterminated string at offset 5)"},
        {"\"a\nb\"", "it is not JSON (control character in a string at offset 2)"},
        {R"("\x")", "it is not JSON (bad escape at offset 3)"},
        {R"("\u12g4")", "it is not JSON (bad escape at offset 6)"},
        {"1e999", "it is not JSON (bad number at offset 5)"},
        {"--1", "it is not JSON (bad number at offset 3)"},
        {"tru", "it is not JSON (unexpected character at offset 0)"},
        {"[] []", "it is not JSON (text after the value at offset 3)"},
    };
    for (const Case& c : cases) {
        try {
            read(c.text);
            ADD_FAILURE() << "no fault for " << c.text.toStdString();
        } catch (const JsonSyntaxError& e) {
            EXPECT_EQ(e.text(), c.expected) << c.text.toStdString();
        }
    }
}

TEST(JsonReader, SkipsValuesNobodyAskedFor)
{
    // Deep nesting is skipped in a loop, not by recursion.
    constexpr int kDepth = 200000;
    QByteArray deep = "{\"skip\":" + QByteArray(kDepth, '[') + QByteArray(kDepth, ']') + ",\"keep\":\"x\",\"also\":{\"a\":[{},[]]}}";
    JsonReader r(deep);
    QString kept;
    r.object([&](const QString& key) {
        if (key == QLatin1String("keep"))
            kept = r.string();
        else
            r.skip();
    });
    r.expectEnd();
    EXPECT_EQ(kept, "x");

    const QByteArray brokenText = "{\"skip\":[1,{\"a\" 2}]}";
    JsonReader broken(brokenText);
    EXPECT_THROW(broken.object([&](const QString&) { broken.skip(); }), JsonSyntaxError);
}
