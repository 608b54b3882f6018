// The one read of a page with its frames of another origin, over a fake protocol's worlds.
#include "browser/FrameRead.h"
#include "browser/FrameSlots.h"
#include "core/Error.h"
#include "dom/Document.h"

#include <QThread>

#include <gtest/gtest.h>

#include <map>

using namespace pxt;

namespace {

constexpr int kNoFrame = -1;  // the slot leads to no frame that can be read
constexpr int kFailing = -2;  // the protocol fails on the slot

// A page as a fake protocol shows it: each frame's serializer text and the frame each slot leads to.
struct FakeFrame {
    QString json;
    std::map<int, int> frameOf; // by slot
};

struct FakePage {
    std::vector<FakeFrame> frames;
    QStringList log;
};

class FakeWorld : public FrameWorld {
public:
    FakeWorld(FakePage& page, int frame) : m_page(page), m_frame(frame) {}

    QString evaluateString(const QString& expression) override
    {
        m_page.log << QStringLiteral("read %1 %2").arg(m_frame).arg(expression);
        return m_page.frames[size_t(m_frame)].json;
    }

    void evaluate(const QString& expression) override
    {
        EXPECT_EQ(expression, forgetFrameSlotsExpression());
        m_page.log << QStringLiteral("forget %1").arg(m_frame);
    }

    std::unique_ptr<FrameWorld> slotWorld(int slot) override
    {
        const auto& frameOf = m_page.frames[size_t(m_frame)].frameOf;
        const auto it = frameOf.find(slot);
        if (it == frameOf.end() || it->second == kNoFrame)
            return nullptr;
        if (it->second == kFailing)
            throw Error(QStringLiteral("gone"));
        return std::make_unique<FakeWorld>(m_page, it->second);
    }

private:
    FakePage& m_page;
    int m_frame;
};

QString repeated(const QString& text, int times)
{
    QString out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

} // namespace

TEST(FrameRead, EachSlotReadInItsFramesWorld)
{
    const QString oneSlot = QStringLiteral(R"({"frames":[{"slot":0,"error":"x"}]})");
    const QString twoSlots = QStringLiteral(R"({"frames":[{"slot":0,"error":"x"},{"slot":1,"error":"y"}]})");
    const int deepest = Document::kMaxFrameDepth - 1;
    struct Case {
        const char* name;
        std::vector<FakeFrame> frames;
        QString expected;
        QStringList log;
    };
    const Case cases[] = {
        {"no slot", {{R"({"title":"t"})", {}}}, R"({"title":"t"})", {"read 0 w0"}},
        {"a slot filled", {{oneSlot, {{0, 1}}}, {R"({"f":1})", {}}}, R"({"frames":[{"f":1}]})",
         {"read 0 w0", "read 1 w0", "forget 0"}},
        {"a slot that leads to no frame stays as it is", {{twoSlots, {{0, kNoFrame}, {1, 1}}}, {R"({"f":1})", {}}},
         R"({"frames":[{"slot":0,"error":"x"},{"f":1}]})", {"read 0 w0", "read 1 w0", "forget 0"}},
        {"a slot whose world fails stays as it is", {{oneSlot, {{0, kFailing}}}}, oneSlot, {"read 0 w0", "forget 0"}},
        {"frames of frames", {{oneSlot, {{0, 1}}}, {oneSlot, {{0, 2}}}, {R"({"f":2})", {}}},
         R"({"frames":[{"frames":[{"f":2}]}]})", {"read 0 w0", "read 1 w0", "read 2 w0", "forget 1", "forget 0"}},
        // A frame that holds itself: the slot at the deepest level is not looked for.
        {"nesting stops at the depth limit", {{oneSlot, {{0, 0}}}},
         repeated(QStringLiteral(R"({"frames":[)"), deepest) + oneSlot + repeated(QStringLiteral("]}"), deepest),
         QStringList(deepest + 1, QStringLiteral("read 0 w0")) + QStringList(deepest + 1, QStringLiteral("forget 0"))},
    };
    for (const Case& c : cases) {
        FakePage page{c.frames, {}};
        FakeWorld top(page, 0);
        // Without a lazy wait every read is asked for none; the call names the wait it was given.
        const QString json = readFramedJson(top, [](int ms) { return QStringLiteral("w%1").arg(ms); }, 0);
        EXPECT_EQ(json, c.expected) << c.name;
        EXPECT_EQ(page.log, c.log) << c.name;
    }
}

TEST(FrameRead, OneLazyWaitForThePageAndItsFrames)
{
    FakePage page{{{QStringLiteral(R"({"frames":[{"slot":0,"error":"x"}]})"), {{0, 1}}}, {QStringLiteral("{}"), {}}}, {}};
    FakeWorld top(page, 0);
    QList<int> waits;
    readFramedJson(top, [&](int ms) {
        waits << ms;
        // the page's read outlasts the whole wait
        QThread::msleep(60);
        return QString();
    }, 20);
    EXPECT_EQ(waits, QList<int>({20, 0})) << "the frame gets what the page left";
}

TEST(FrameRead, AFailureNamesTheWindow)
{
    struct Case {
        const char* name;
        std::function<QString()> read;
        QString expected;
    };
    const Case cases[] = {
        {"the read fails", []() -> QString { throw Error(QStringLiteral("no answer in time")); },
         QStringLiteral("The page \"Gallery\" could not be read: no answer in time")},
        {"the text is no document", [] { return QStringLiteral("not json"); },
         QStringLiteral("The page \"Gallery\" could not be read: ")},
    };
    for (const Case& c : cases) {
        try {
            windowDocument(QStringLiteral("Gallery"), c.read);
            ADD_FAILURE() << c.name;
        } catch (const Error& e) {
            EXPECT_TRUE(e.text().startsWith(c.expected)) << c.name << ": " << e.text().toStdString();
        }
    }
}
