#include "MqMemoryMappedFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char* const kNotOpen = "Memory mapped file not open";
const char* const kCouldNotCreate = "Could not create memory mapped file";
const char* const kCouldNotMap = "Could not open mapview";

[[noreturn]] void RaisePropertyOnOpen(const char* property)
{
    throw EMqMemoryMappedFile(
        QStringLiteral("Can not set %1 property on open memory map file").arg(property));
}

// POSIX names start with the one slash they may hold.
std::string ShmNameOf(const QString& globalName)
{
    std::string name = globalName.toStdString();
    for (char& c : name)
        if (c == '/')
            c = '_';
    return "/" + name;
}

// True when the name still refers to the object open on fd: a last closer may have
// removed it between our open and our lock, and a later opener must not share a
// block that nobody else can find any more.
bool NameStillRefersTo(int fd, const std::string& shmName)
{
    int other = shm_open(shmName.c_str(), O_RDONLY, 0);
    if (other < 0)
        return false;
    struct stat a {};
    struct stat b {};
    bool same = fstat(fd, &a) == 0 && fstat(other, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    close(other);
    return same;
}

void ReleaseSharedObject(int fd, const std::string& shmName)
{
    // Every opener holds a shared lock; only the last one can take it exclusively,
    // and that one removes the name so the next first opener starts from zero.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        shm_unlink(shmName.c_str());
    close(fd);
}
} // namespace

TMqCustomMemoryMappedFile::~TMqCustomMemoryMappedFile()
{
    if (!m_open)
        return;
    try {
        Close();
    } catch (...) {
        // OnBeforeClose refused; the view must still go with the object.
        if (m_view)
            munmap(m_view, m_mappedSize);
        if (m_handle >= 0)
            ReleaseSharedObject(m_handle, m_shmName);
    }
}

void TMqCustomMemoryMappedFile::SetSize(uint32_t Value)
{
    if (m_open)
        RaisePropertyOnOpen("Size");
    m_size = Value;
}

void TMqCustomMemoryMappedFile::SetGlobalName(const QString& Value)
{
    m_globalName = Value;
}

void TMqCustomMemoryMappedFile::SetReadOnly(bool Value)
{
    if (m_open)
        RaisePropertyOnOpen("ReadOnly");
    m_readOnly = Value;
}

int TMqCustomMemoryMappedFile::OpenSharedObject(const std::string& shmName)
{
    // Retries cover the race with a last closer removing the name under us.
    for (int attempt = 0; attempt < 100; ++attempt) {
        bool created = true;
        int fd = shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST) {
            created = false;
            fd = shm_open(shmName.c_str(), O_RDWR, 0);
            if (fd < 0 && errno == ENOENT)
                continue;
        }
        if (fd < 0)
            return -1;
        if (created)
            fchmod(fd, 0666); // every account may open it, whatever our umask
        bool locked;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Nobody else holds it. An object we did not just create was left behind by
            // a process that ended without closing it: start it from zero, as a fresh
            // section would, keeping its size.
            struct stat st {};
            const bool zeroed =
                created || (fstat(fd, &st) == 0 &&
                            (st.st_size == 0 || (ftruncate(fd, 0) == 0 && ftruncate(fd, st.st_size) == 0)));
            locked = zeroed && flock(fd, LOCK_SH) == 0;
        } else {
            locked = flock(fd, LOCK_SH) == 0;
        }
        if (!locked) {
            close(fd);
            return -1;
        }
        if (!NameStillRefersTo(fd, shmName)) {
            close(fd);
            continue;
        }
        // A new object is empty; growing it zero-fills. Never shrink what others map.
        struct stat st {};
        if (fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(m_size) && ftruncate(fd, m_size) != 0)) {
            ReleaseSharedObject(fd, shmName);
            return -1;
        }
        return fd;
    }
    return -1;
}

bool TMqCustomMemoryMappedFile::Open()
{
    if (m_open)
        return true;
    if (m_size == 0)
        throw EMqMemoryMappedFile(kCouldNotCreate);
    const int prot = m_readOnly ? PROT_READ : PROT_READ | PROT_WRITE;
    void* view = MAP_FAILED;
    size_t mapped = m_size;
    int fd = -1;
    std::string shmName;
    if (m_globalName.isEmpty()) {
        view = mmap(nullptr, mapped, prot, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    } else {
        shmName = ShmNameOf(m_globalName);
        fd = OpenSharedObject(shmName);
        if (fd < 0)
            throw EMqMemoryMappedFile(kCouldNotCreate);
        struct stat st {};
        if (fstat(fd, &st) == 0)
            mapped = static_cast<size_t>(st.st_size); // the whole section
        view = mmap(nullptr, mapped, prot, MAP_SHARED, fd, 0);
    }
    if (view == MAP_FAILED) {
        if (fd >= 0)
            ReleaseSharedObject(fd, shmName);
        throw EMqMemoryMappedFile(kCouldNotMap);
    }
    m_handle = fd;
    m_shmName = shmName;
    m_view = view;
    m_mappedSize = mapped;
    m_open = true;
    if (OnAfterOpen)
        OnAfterOpen(this, m_view);
    return m_open;
}

void* TMqCustomMemoryMappedFile::View()
{
    if (!m_open)
        Open();
    return m_view;
}

void TMqCustomMemoryMappedFile::Close()
{
    if (!m_open)
        throw EMqMemoryMappedFile(kNotOpen);
    if (OnBeforeClose)
        OnBeforeClose(this, m_view);
    munmap(m_view, m_mappedSize);
    if (m_handle >= 0)
        ReleaseSharedObject(m_handle, m_shmName);
    // Whatever close() reports, the view and descriptor are gone: never keep a
    // stale view marked open.
    m_handle = -1;
    m_shmName.clear();
    m_view = nullptr;
    m_mappedSize = 0;
    m_open = false;
}
