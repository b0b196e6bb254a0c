#pragma once

#include <atomic>
#include <sqlite3.h>

namespace a3::test {

// SQLite's default file system with faults on demand, as a disk gives them:
// while it lives it is the default, so every database opened meanwhile goes
// through it.
class FaultyVfs
{
public:
    FaultyVfs()
        : _real(sqlite3_vfs_find(nullptr))
    {
        _vfs = *_real;
        _vfs.zName = "a3-faulty";
        _vfs.szOsFile = static_cast<int>(sizeof(File)) + _real->szOsFile;
        _vfs.pAppData = this;
        _vfs.xOpen = &FaultyVfs::open;
        sqlite3_vfs_register(&_vfs, 1);
    }
    ~FaultyVfs()
    {
        sqlite3_vfs_unregister(&_vfs);
        sqlite3_vfs_register(_real, 1);
    }
    FaultyVfs(const FaultyVfs&) = delete;
    FaultyVfs& operator=(const FaultyVfs&) = delete;

    // Every write fails with this code from now on (SQLITE_OK: none does).
    void failWrites(int code) { _writeFault = code; }
    // Every read fails so.
    void failReads(int code) { _readFault = code; }
    // Files opened from now on are opened read-only, as on a file system
    // remounted read-only.
    void openReadOnly(bool readOnly) { _readOnly = readOnly; }

private:
    // Ours first, the real file's own structure right after it.
    struct File
    {
        sqlite3_file base;
        FaultyVfs* vfs;
        sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
    };

    static File& file(sqlite3_file* base) { return *reinterpret_cast<File*>(base); }
    static sqlite3_file* real(sqlite3_file* base) { return file(base).real(); }

    static int open(sqlite3_vfs* vfs, const char* name, sqlite3_file* base, int flags,
                    int* outFlags)
    {
        auto& self = *static_cast<FaultyVfs*>(vfs->pAppData);
        if (self._readOnly) {
            flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
        }
        File& ours = file(base);
        ours.base.pMethods = nullptr;
        ours.vfs = &self;
        const int code = self._real->xOpen(self._real, name, ours.real(), flags, outFlags);
        if (code == SQLITE_OK && ours.real()->pMethods) {
            self._methods = *ours.real()->pMethods;
            self._methods.xClose = &FaultyVfs::close;
            self._methods.xRead = &FaultyVfs::read;
            self._methods.xWrite = &FaultyVfs::write;
            self._methods.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
                return real(f)->pMethods->xTruncate(real(f), size);
            };
            self._methods.xSync = [](sqlite3_file* f, int syncFlags) {
                return real(f)->pMethods->xSync(real(f), syncFlags);
            };
            self._methods.xFileSize = [](sqlite3_file* f, sqlite3_int64* size) {
                return real(f)->pMethods->xFileSize(real(f), size);
            };
            self._methods.xLock = [](sqlite3_file* f, int lock) {
                return real(f)->pMethods->xLock(real(f), lock);
            };
            self._methods.xUnlock = [](sqlite3_file* f, int lock) {
                return real(f)->pMethods->xUnlock(real(f), lock);
            };
            self._methods.xCheckReservedLock = [](sqlite3_file* f, int* out) {
                return real(f)->pMethods->xCheckReservedLock(real(f), out);
            };
            self._methods.xFileControl = [](sqlite3_file* f, int op, void* arg) {
                return real(f)->pMethods->xFileControl(real(f), op, arg);
            };
            self._methods.xSectorSize = [](sqlite3_file* f) {
                return real(f)->pMethods->xSectorSize(real(f));
            };
            self._methods.xDeviceCharacteristics = [](sqlite3_file* f) {
                return real(f)->pMethods->xDeviceCharacteristics(real(f));
            };
            self._methods.xShmMap = [](sqlite3_file* f, int region, int size, int extend,
                                       void volatile** out) {
                return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
            };
            self._methods.xShmLock = [](sqlite3_file* f, int offset, int n, int lockFlags) {
                return real(f)->pMethods->xShmLock(real(f), offset, n, lockFlags);
            };
            self._methods.xShmBarrier = [](sqlite3_file* f) {
                real(f)->pMethods->xShmBarrier(real(f));
            };
            self._methods.xShmUnmap = [](sqlite3_file* f, int deleteFlag) {
                return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
            };
            self._methods.xFetch = [](sqlite3_file* f, sqlite3_int64 at, int amount, void** out) {
                return real(f)->pMethods->xFetch(real(f), at, amount, out);
            };
            self._methods.xUnfetch = [](sqlite3_file* f, sqlite3_int64 at, void* page) {
                return real(f)->pMethods->xUnfetch(real(f), at, page);
            };
            ours.base.pMethods = &self._methods;
        }
        return code;
    }

    static int close(sqlite3_file* base) { return real(base)->pMethods->xClose(real(base)); }

    static int read(sqlite3_file* base, void* buffer, int amount, sqlite3_int64 at)
    {
        if (const int fault = file(base).vfs->_readFault; fault != SQLITE_OK) {
            return fault;
        }
        return real(base)->pMethods->xRead(real(base), buffer, amount, at);
    }

    static int write(sqlite3_file* base, const void* data, int amount, sqlite3_int64 at)
    {
        if (const int fault = file(base).vfs->_writeFault; fault != SQLITE_OK) {
            return fault;
        }
        return real(base)->pMethods->xWrite(real(base), data, amount, at);
    }

    sqlite3_vfs* _real;
    sqlite3_vfs _vfs{};
    sqlite3_io_methods _methods{};
    std::atomic<int> _writeFault{SQLITE_OK};
    std::atomic<int> _readFault{SQLITE_OK};
    std::atomic<bool> _readOnly{false};
};

} // namespace a3::test
