#pragma once
// A named block of shared memory, seen by every process that opens the same name.
// Built on POSIX shared memory: the object is created zero-filled and removed again
// when its last opener closes, so a later first opener gets a fresh, zeroed block
// (as a paging-file section would). An empty name gives an unnamed block that only
// this process (and children it forks) can share.
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "MqExceptions.h"

MQ_DECLARE_EXCEPTION(EMqMemoryMappedFile, EMqException);

class TMqCustomMemoryMappedFile {
public:
    using TMqMemoryMappedFileEvent = std::function<void(TMqCustomMemoryMappedFile* Sender, void* Data)>;

    TMqCustomMemoryMappedFile() = default;
    // Closes when a section is held.
    virtual ~TMqCustomMemoryMappedFile();
    TMqCustomMemoryMappedFile(const TMqCustomMemoryMappedFile&) = delete;
    TMqCustomMemoryMappedFile& operator=(const TMqCustomMemoryMappedFile&) = delete;

    uint32_t Size() const { return m_size; }
    void SetSize(uint32_t Value); // raises while open

    // Kept for the designer's namespace prefix; it never applies on this system, so
    // the section's name is GlobalName alone.
    QString GlobalPrefix() const { return m_globalPrefix; }
    void SetGlobalPrefix(const QString& Value) { m_globalPrefix = Value; }

    QString GlobalName() const { return m_globalName; }
    virtual void SetGlobalName(const QString& Value);

    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool Value); // raises while open

    // Creates or opens the section and maps all of it; true when open. Nothing
    // happens when already open.
    bool Open();
    // Opens when needed and returns the start of the view.
    void* View();
    // Raises when not open.
    void Close();
    bool IsOpen() const { return m_open; }
    // Bytes mapped: the section's size, which is at least Size.
    size_t MappedSize() const { return m_mappedSize; }
    // The name the section is known by to every opener.
    QString SectionName() const { return m_globalName; }

    TMqMemoryMappedFileEvent OnAfterOpen;
    TMqMemoryMappedFileEvent OnBeforeClose;

private:
    int OpenSharedObject(const std::string& shmName);

    uint32_t m_size = 0;
    QString m_globalPrefix;
    QString m_globalName;
    int m_handle = -1;     // descriptor of the shared object, -1 for an unnamed block
    std::string m_shmName; // the object's POSIX name while open
    void* m_view = nullptr;
    size_t m_mappedSize = 0;
    bool m_readOnly = false;
    bool m_open = false;
};

// The component with its properties published.
class TMqMemoryMappedFile : public TMqCustomMemoryMappedFile {};
