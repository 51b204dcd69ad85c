#include <core/BIMException.h>

#include <QtTest>

#include <cstring>
#include <memory>
#include <string>

class TestBIMException : public QObject
{
    Q_OBJECT

private slots:
    void defaultConstructed();
    void fromText_data();
    void fromText();
    void nullPointersGiveUnknownException();
    void copyIsIndependent();
    void assignmentTakesAPrivateCopy();
    void caughtAsStdException();
};

namespace {

std::unique_ptr<BIMException> build(const QString& kind, const QByteArray& utf8, int code)
{
    if (kind == "std::string") {
        std::string text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
        return std::make_unique<BIMException>(text, code);
    }
    if (kind == "char*") {
        QByteArray copy = utf8; // up to the first NUL, as a C string
        return std::make_unique<BIMException>(copy.data(), code);
    }
    const QString decoded = QString::fromUtf8(utf8.constData(), utf8.size());
    if (kind == "QString") {
        QString text = decoded;
        return std::make_unique<BIMException>(text, code);
    }
    std::wstring wide = decoded.toStdWString();
    if (kind == "std::wstring")
        return std::make_unique<BIMException>(wide, code);
    return std::make_unique<BIMException>(&wide[0], code); // wchar_t*
}

} // namespace

void TestBIMException::defaultConstructed()
{
    const BIMException exception;
    QCOMPARE(exception.m_nCode, 0);
    QVERIFY(exception.m_strMessage.isEmpty());
    QCOMPARE(exception.what(), "");
}

void TestBIMException::fromText_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("input"); // UTF-8 bytes handed to the constructor
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("what");

    const QByteArray chinese = QStringLiteral("网络超时！").toUtf8();
    const QByteArray astral = QString::fromUcs4(U"模型\U0001F600").toUtf8();
    const QByteArray withNul("ab\0cd", 5);
    for (const char* kind : { "std::string", "char*", "QString", "std::wstring", "wchar_t*" }) {
        QTest::addRow("%s ascii", kind) << kind << QByteArray("Network Timeout!")
                                        << "Network Timeout!" << QByteArray("Network Timeout!");
        QTest::addRow("%s chinese", kind)
            << kind << chinese << QStringLiteral("网络超时！") << chinese;
        QTest::addRow("%s outside the basic plane", kind)
            << kind << astral << QString::fromUtf8(astral) << astral;
        QTest::addRow("%s empty", kind) << kind << QByteArray("") << "" << QByteArray("");
    }
    // Narrow text stops at the first NUL, message and what() alike.
    QTest::newRow("std::string with NUL") << "std::string" << withNul << "ab" << QByteArray("ab");
    QTest::newRow("char* with NUL") << "char*" << withNul << "ab" << QByteArray("ab");
}

void TestBIMException::fromText()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, input);
    QFETCH(QString, message);
    QFETCH(QByteArray, what);

    const std::unique_ptr<BIMException> exception = build(kind, input, 17);
    QCOMPARE(exception->m_nCode, 17);
    QCOMPARE(exception->m_strMessage, message);
    QCOMPARE(QByteArray(exception->what()), what);
}

void TestBIMException::nullPointersGiveUnknownException()
{
    char* narrow = nullptr;
    wchar_t* wide = nullptr;
    const BIMException fromNarrow(narrow, 5);
    const BIMException fromWide(wide, 6);
    QCOMPARE(fromNarrow.m_nCode, 5);
    QCOMPARE(fromWide.m_nCode, 6);
    QVERIFY(fromNarrow.m_strMessage.isEmpty());
    QVERIFY(fromWide.m_strMessage.isEmpty());
    QCOMPARE(fromNarrow.what(), "Unknown exception");
    QCOMPARE(fromWide.what(), "Unknown exception");

    const BIMException copy(fromNarrow);
    QCOMPARE(copy.what(), "Unknown exception");
}

void TestBIMException::copyIsIndependent()
{
    QString text = QStringLiteral("打开项目失败！");
    auto source = std::make_unique<BIMException>(text, 3);
    const char* sourceWhat = source->what();
    const BIMException copy(*source);
    QVERIFY(copy.what() != sourceWhat); // a private copy, not a shared buffer
    source.reset();
    QCOMPARE(copy.m_nCode, 3);
    QCOMPARE(copy.m_strMessage, text);
    QCOMPARE(QByteArray(copy.what()), text.toUtf8());
}

void TestBIMException::assignmentTakesAPrivateCopy()
{
    std::string first = "first";
    char* none = nullptr;
    BIMException target(first, 1);
    {
        QString text = QStringLiteral("第二");
        BIMException source(text, 2);
        target = source;
        QVERIFY(target.what() != source.what());
    }
    QCOMPARE(target.m_nCode, 2);
    QCOMPARE(target.m_strMessage, QStringLiteral("第二"));
    QCOMPARE(QByteArray(target.what()), QStringLiteral("第二").toUtf8());

    // Assigning from one without narrow text gives up the old text.
    target = BIMException(none, 4);
    QCOMPARE(target.what(), "Unknown exception");
    QCOMPARE(target.m_nCode, 4);

    BIMException& self = target;
    target = self;
    QCOMPARE(target.what(), "Unknown exception");
    QCOMPARE(target.m_nCode, 4);
}

void TestBIMException::caughtAsStdException()
{
    QString text = QStringLiteral("网络超时！");
    try {
        throw BIMException(text, 0);
    } catch (const std::exception& caught) {
        QCOMPARE(QByteArray(caught.what()), text.toUtf8());
        const auto* exact = dynamic_cast<const BIMException*>(&caught);
        QVERIFY(exact);
        QCOMPARE(exact->m_strMessage, text);
        return;
    }
    QFAIL("not caught as std::exception");
}

QTEST_APPLESS_MAIN(TestBIMException)
#include "tst_bimexception.moc"
