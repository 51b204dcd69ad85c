#include <bimcore/core/BIMException.h>

#include <QtTest>

#include <memory>
#include <string>
#include <utility>

namespace {

const char* const kNullText = "null";
const QByteArray kUnknown = "Unknown exception";

// Hands the UTF-8 bytes to the constructor of the given kind; kNullText as the
// input gives that kind a null pointer.
std::unique_ptr<BIMException> build(const QString& kind, QByteArray utf8, int code)
{
    const bool null = utf8 == kNullText;
    std::string narrow = utf8.toStdString();
    QString text = QString::fromUtf8(utf8.constData(), utf8.size());
    std::wstring wide = text.toStdWString();
    if (kind == "std::string")
        return std::make_unique<BIMException>(narrow, code);
    if (kind == "char*")
        return std::make_unique<BIMException>(null ? nullptr : utf8.data(), code);
    if (kind == "QString")
        return std::make_unique<BIMException>(text, code);
    if (kind == "std::wstring")
        return std::make_unique<BIMException>(wide, code);
    return std::make_unique<BIMException>(null ? nullptr : &wide[0], code);
}

} // namespace

class TestBIMException : public QObject
{
    Q_OBJECT

private slots:
    void fromText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("input"); // UTF-8 bytes handed to the constructor
        QTest::addColumn<QByteArray>("what"); // the message is the same text, decoded

        // Chinese and a character outside the basic plane, and the empty text.
        for (const char* kind : { "std::string", "char*", "QString", "std::wstring", "wchar_t*" }) {
            for (const QByteArray& text : { QString::fromUcs4(U"网络超时 \U0001F600").toUtf8(), QByteArray() })
                QTest::addRow("%s %s", kind, text.isEmpty() ? "empty" : "text") << kind << text << text;
        }
        // Narrow text stops at the first NUL, message and what() alike.
        const QByteArray withNul("ab\0cd", 5);
        QTest::newRow("std::string with NUL") << "std::string" << withNul << QByteArray("ab");
        QTest::newRow("char* with NUL") << "char*" << withNul << QByteArray("ab");
        QTest::newRow("null char*") << "char*" << QByteArray(kNullText) << kUnknown;
        QTest::newRow("null wchar_t*") << "wchar_t*" << QByteArray(kNullText) << kUnknown;
    }

    // Copies, assigned or thrown, outlive the source: no shared buffer. An
    // assignment from one without narrow text gives up the old text.
    void fromText()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, what);

        std::unique_ptr<BIMException> exception = build(kind, input, 17);
        BIMException assigned(std::string("old text"), 3);
        assigned = *exception;
        BIMException& self = assigned;
        assigned = self;
        try {
            throw BIMException(*exception);
        } catch (const std::exception& caught) {
            exception.reset();
            for (const BIMException* copy :
                { &dynamic_cast<const BIMException&>(caught), &std::as_const(assigned) }) {
                QCOMPARE(copy->m_nCode, 17);
                QCOMPARE(copy->m_strMessage, what == kUnknown ? QString() : QString::fromUtf8(what));
                QCOMPARE(QByteArray(copy->what()), what);
            }
        }
        QCOMPARE(BIMException().what(), "");
    }
};

QTEST_APPLESS_MAIN(TestBIMException)
#include "tst_bimexception.moc"
