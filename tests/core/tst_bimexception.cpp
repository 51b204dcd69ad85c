#include <bimcore/core/BIMException.h>

#include <QtTest>

#include <memory>
#include <string>

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

        const QList<QPair<const char*, QByteArray>> texts { { "ascii", "Timeout!" },
            { "chinese", QStringLiteral("网络超时！").toUtf8() },
            { "outside the basic plane", QString::fromUcs4(U"模型\U0001F600").toUtf8() },
            { "empty", "" } };
        for (const char* kind : { "std::string", "char*", "QString", "std::wstring", "wchar_t*" }) {
            for (const auto& text : texts)
                QTest::addRow("%s %s", kind, text.first) << kind << text.second << text.second;
        }
        // Narrow text stops at the first NUL, message and what() alike.
        const QByteArray withNul("ab\0cd", 5);
        QTest::newRow("std::string with NUL") << "std::string" << withNul << QByteArray("ab");
        QTest::newRow("char* with NUL") << "char*" << withNul << QByteArray("ab");
        QTest::newRow("null char*") << "char*" << QByteArray(kNullText) << kUnknown;
        QTest::newRow("null wchar_t*") << "wchar_t*" << QByteArray(kNullText) << kUnknown;
    }

    void fromText()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, what);

        const std::unique_ptr<BIMException> exception = build(kind, input, 17);
        QCOMPARE(exception->m_nCode, 17);
        QCOMPARE(exception->m_strMessage, what == kUnknown ? QString() : QString::fromUtf8(what));
        QCOMPARE(QByteArray(exception->what()), what);
    }

    void copyAssignAndCatch()
    {
        BIMException assigned;
        QCOMPARE(assigned.what(), "");

        const QString text = QStringLiteral("打开项目失败！");
        auto source = std::make_unique<BIMException>(text, 3);
        assigned = *source;
        // The copies outlive the source: no shared buffer.
        try {
            throw BIMException(*source);
        } catch (const std::exception& caught) {
            source.reset();
            QCOMPARE(QByteArray(caught.what()), text.toUtf8());
            QCOMPARE(dynamic_cast<const BIMException&>(caught).m_nCode, 3);
        }
        QCOMPARE(assigned.m_nCode, 3);
        QCOMPARE(assigned.m_strMessage, text);
        QCOMPARE(QByteArray(assigned.what()), text.toUtf8());

        // Assigning from one without narrow text gives up the old text.
        assigned = BIMException(static_cast<char*>(nullptr), 4);
        BIMException& self = assigned;
        assigned = self;
        QCOMPARE(assigned.what(), "Unknown exception");
        QCOMPARE(assigned.m_nCode, 4);
    }
};

QTEST_APPLESS_MAIN(TestBIMException)
#include "tst_bimexception.moc"
