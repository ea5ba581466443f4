#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "MqMemoryMappedFile.h"

namespace {

QString UniqueName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("ZarnMmfTest_%1_%2").arg(getpid()).arg(counter++);
}

bool SectionExists(const QString& name)
{
    int fd = shm_open(("/" + name.toStdString()).c_str(), O_RDONLY, 0);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

void Configure(TMqMemoryMappedFile& f, const QString& name, uint32_t size = 8)
{
    f.SetGlobalName(name);
    f.SetSize(size);
}

bool AllZero(const void* p, size_t n)
{
    auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
        if (b[i] != 0)
            return false;
    return true;
}

template <class F> std::string MessageOf(F&& f)
{
    try {
        f();
    } catch (const EMqMemoryMappedFile& e) {
        EXPECT_STREQ(e.ClassName(), "EMqMemoryMappedFile");
        return e.what();
    }
    return "(no exception)";
}

TEST(MappedFile, TwoOpenersOfOneNameShareAZeroFilledSection)
{
    const QString name = UniqueName();
    TMqMemoryMappedFile a;
    TMqMemoryMappedFile b;
    Configure(a, name);
    Configure(b, name);
    b.SetGlobalPrefix("Global"); // never applies here: both reach the same section
    EXPECT_EQ(b.SectionName(), name);

    ASSERT_TRUE(a.Open());
    EXPECT_TRUE(AllZero(a.View(), 8));
    auto* pb = static_cast<volatile uint32_t*>(b.View()); // opens on demand
    ASSERT_TRUE(b.IsOpen());
    auto* pa = static_cast<volatile uint32_t*>(a.View());
    EXPECT_NE(static_cast<volatile void*>(pa), static_cast<volatile void*>(pb));
    pa[0] = 0x12345678;
    pb[1] = 4711;
    EXPECT_EQ(pb[0], 0x12345678u);
    EXPECT_EQ(pa[1], 4711u);

    // A read-only opener sees the same bytes.
    TMqMemoryMappedFile r;
    Configure(r, name);
    r.SetReadOnly(true);
    EXPECT_EQ(static_cast<const uint32_t*>(r.View())[1], 4711u);
}

TEST(MappedFile, TheLastCloserRemovesTheSectionSoTheNextOneStartsZeroed)
{
    const QString name = UniqueName();
    {
        TMqMemoryMappedFile a;
        TMqMemoryMappedFile b;
        Configure(a, name);
        Configure(b, name);
        std::memset(a.View(), 0xAB, 8);
        b.Open();
        a.Close();
        EXPECT_TRUE(SectionExists(name)); // b still holds it
        EXPECT_EQ(static_cast<unsigned char*>(b.View())[7], 0xAB);
        // b closes in its destructor
    }
    EXPECT_FALSE(SectionExists(name));
    TMqMemoryMappedFile c;
    Configure(c, name);
    EXPECT_TRUE(AllZero(c.View(), 8));
}

TEST(MappedFile, ASectionLeftByAnEndedProcessStartsZeroed)
{
    // An object nobody holds any more, as a process that died without closing leaves it.
    const QString name = UniqueName();
    const std::string shmName = "/" + name.toStdString();
    int fd = shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 8), 0);
    ASSERT_EQ(pwrite(fd, "stale!!!", 8, 0), 8);
    close(fd);

    TMqMemoryMappedFile f;
    Configure(f, name);
    EXPECT_TRUE(AllZero(f.View(), 8));
    f.Close();
    EXPECT_FALSE(SectionExists(name));
}

TEST(MappedFile, ALaterLargerOpenerGrowsTheSectionWithoutDisturbingTheFirst)
{
    const QString name = UniqueName();
    TMqMemoryMappedFile small;
    TMqMemoryMappedFile large;
    Configure(small, name, 8);
    Configure(large, name, 4096);
    static_cast<char*>(small.View())[0] = 'x';
    ASSERT_TRUE(large.Open());
    EXPECT_EQ(small.MappedSize(), 8u);
    EXPECT_EQ(large.MappedSize(), 4096u);
    EXPECT_EQ(static_cast<char*>(large.View())[0], 'x');
    EXPECT_TRUE(AllZero(static_cast<char*>(large.View()) + 8, 4088));

    // A smaller later opener maps the whole, larger section.
    TMqMemoryMappedFile later;
    Configure(later, name, 8);
    later.Open();
    EXPECT_EQ(later.MappedSize(), 4096u);
}

TEST(MappedFile, EventsSeeTheViewAndOpenIsIdempotent)
{
    TMqMemoryMappedFile f;
    Configure(f, UniqueName());
    int opened = 0;
    void* afterOpen = nullptr;
    void* beforeClose = nullptr;
    f.OnAfterOpen = [&](TMqCustomMemoryMappedFile* sender, void* data) {
        EXPECT_EQ(sender, &f);
        ++opened;
        afterOpen = data;
    };
    f.OnBeforeClose = [&](TMqCustomMemoryMappedFile*, void* data) { beforeClose = data; };
    ASSERT_TRUE(f.Open());
    EXPECT_TRUE(f.Open());
    void* view = f.View();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(afterOpen, view);
    f.Close();
    EXPECT_EQ(beforeClose, view);
    EXPECT_FALSE(f.IsOpen());
}

TEST(MappedFile, FailuresRaiseTheirMessages)
{
    TMqMemoryMappedFile f;
    Configure(f, UniqueName());
    EXPECT_EQ(MessageOf([&] { f.Close(); }), "Memory mapped file not open");
    f.Open();
    EXPECT_EQ(MessageOf([&] { f.SetSize(16); }), "Can not set Size property on open memory map file");
    EXPECT_EQ(MessageOf([&] { f.SetReadOnly(true); }),
              "Can not set ReadOnly property on open memory map file");
    EXPECT_EQ(f.Size(), 8u);
    EXPECT_FALSE(f.ReadOnly());
    f.Close();
    EXPECT_EQ(MessageOf([&] { f.Close(); }), "Memory mapped file not open");
    f.SetSize(16); // allowed again once closed
    EXPECT_EQ(f.Size(), 16u);

    TMqMemoryMappedFile empty;
    Configure(empty, UniqueName(), 0);
    EXPECT_EQ(MessageOf([&] { empty.Open(); }), "Could not create memory mapped file");
    TMqMemoryMappedFile badName;
    Configure(badName, QString(300, QChar('n')));
    EXPECT_EQ(MessageOf([&] { badName.Open(); }), "Could not create memory mapped file");
    EXPECT_FALSE(badName.IsOpen());
}

TEST(MappedFile, AnUnnamedSectionIsPrivateAndZeroed)
{
    TMqMemoryMappedFile a;
    TMqMemoryMappedFile b;
    a.SetSize(8);
    b.SetSize(8);
    EXPECT_TRUE(AllZero(a.View(), 8));
    static_cast<char*>(a.View())[0] = 1;
    EXPECT_EQ(static_cast<char*>(b.View())[0], 0);
}

// Run twice: by the parent below, and inside a child process that it starts.
constexpr const char* kChildEnv = "ZARN_MMF_CHILD";

TEST(MappedFileChildProcess, AnswersThroughTheSection)
{
    const char* name = std::getenv(kChildEnv);
    if (!name)
        GTEST_SKIP() << "runs only as the child of the cross-process test";
    TMqMemoryMappedFile f;
    Configure(f, QString::fromUtf8(name));
    auto* bytes = static_cast<char*>(f.View());
    ASSERT_EQ(std::memcmp(bytes, "ping", 4), 0);
    ASSERT_TRUE(AllZero(bytes + 4, 4));
    std::memcpy(bytes + 4, "pong", 4);
    f.Close();
}

TEST(MappedFile, AnotherProcessSeesTheSameSection)
{
#if defined(__SANITIZE_THREAD__)
    // Starting a child process from a ThreadSanitizer build corrupts the sanitizer's own state
    // in the parent, which then reports races that cannot happen; the same-process tests remain.
    GTEST_SKIP() << "not under ThreadSanitizer";
#endif
    const QString name = UniqueName();
    TMqMemoryMappedFile f;
    Configure(f, name);
    auto* bytes = static_cast<char*>(f.View());
    std::memcpy(bytes, "ping", 4);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildEnv, name);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=MappedFileChildProcess.AnswersThroughTheSection"});
    ASSERT_TRUE(child.waitForFinished(30000)) << child.readAll().toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    EXPECT_EQ(std::memcmp(bytes + 4, "pong", 4), 0);
    EXPECT_TRUE(SectionExists(name)); // the child's close left it to us
    f.Close();
    EXPECT_FALSE(SectionExists(name));
}

} // namespace
