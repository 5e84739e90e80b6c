#pragma once
// The PDH-shaped counter library: the query, counter, formatting, path and enumeration calls of the
// Windows performance-counter library, serving real Linux counters read from /proc, /sys, cgroup v2
// and the pressure-stall files. Paths keep the PDH syntax `\\machine\Object(parent/instance#index)\Counter`.
//
// Wide strings are UTF-16 (char16_t). Status values and return codes are those of PDH.
// Every call is safe from any thread: the calls on one query (and its counters) take turns, calls
// on different queries run in parallel.

#include "com/wintypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

using PDH_STATUS = LONG;
using BOOLEAN = std::uint8_t;

struct ZynPdhQuery;
struct ZynPdhCounter;
using PDH_HQUERY = ZynPdhQuery*;
using PDH_HCOUNTER = ZynPdhCounter*;

// Counter statuses (PDH_FMT_COUNTERVALUE::CStatus, validation results).
inline constexpr PDH_STATUS PDH_CSTATUS_VALID_DATA = 0x0;
inline constexpr PDH_STATUS PDH_CSTATUS_NEW_DATA = 0x1;
inline constexpr PDH_STATUS PDH_CSTATUS_NO_MACHINE = static_cast<PDH_STATUS>(0x800007D0u);
inline constexpr PDH_STATUS PDH_CSTATUS_NO_INSTANCE = static_cast<PDH_STATUS>(0x800007D1u);
inline constexpr PDH_STATUS PDH_CSTATUS_NO_OBJECT = static_cast<PDH_STATUS>(0xC0000BB8u);
inline constexpr PDH_STATUS PDH_CSTATUS_NO_COUNTER = static_cast<PDH_STATUS>(0xC0000BB9u);
inline constexpr PDH_STATUS PDH_CSTATUS_INVALID_DATA = static_cast<PDH_STATUS>(0xC0000BBAu);
inline constexpr PDH_STATUS PDH_CSTATUS_BAD_COUNTERNAME = static_cast<PDH_STATUS>(0xC0000BC0u);

// Function results.
#include "com/winerror.h"
inline constexpr PDH_STATUS PDH_MORE_DATA = static_cast<PDH_STATUS>(0x800007D2u);
inline constexpr PDH_STATUS PDH_NO_DATA = static_cast<PDH_STATUS>(0x800007D5u);
inline constexpr PDH_STATUS PDH_INVALID_HANDLE = static_cast<PDH_STATUS>(0xC0000BBCu);
inline constexpr PDH_STATUS PDH_INVALID_ARGUMENT = static_cast<PDH_STATUS>(0xC0000BBDu);
inline constexpr PDH_STATUS PDH_INVALID_DATA = static_cast<PDH_STATUS>(0xC0000BC6u);

// Formatting flags.
inline constexpr DWORD PDH_FMT_LONG = 0x00000100;
inline constexpr DWORD PDH_FMT_DOUBLE = 0x00000200;
inline constexpr DWORD PDH_FMT_LARGE = 0x00000400;
inline constexpr DWORD PDH_FMT_NOSCALE = 0x00001000;
inline constexpr DWORD PDH_FMT_NOCAP100 = 0x00008000;

// Detail levels: enumeration returns the items at or below the level asked.
inline constexpr DWORD PERF_DETAIL_NOVICE = 100;
inline constexpr DWORD PERF_DETAIL_ADVANCED = 200;
inline constexpr DWORD PERF_DETAIL_EXPERT = 300;
inline constexpr DWORD PERF_DETAIL_WIZARD = 400;

// Counter types reported in PDH_COUNTER_INFO_W::dwType (the Windows perflib values).
inline constexpr DWORD PERF_COUNTER_COUNTER = 0x10410400;        // a rate of a 32-bit-style count
inline constexpr DWORD PERF_COUNTER_BULK_COUNT = 0x10410500;     // a rate of a 64-bit count
inline constexpr DWORD PERF_COUNTER_LARGE_RAWCOUNT = 0x00010100; // an instantaneous value
inline constexpr DWORD PERF_100NSEC_TIMER = 0x20510500;          // a percentage of elapsed time
inline constexpr DWORD PERF_RAW_FRACTION = 0x20020400;           // an instantaneous percentage
inline constexpr DWORD PERF_ELAPSED_TIME = 0x30240500;           // seconds since a start time
inline constexpr DWORD PERF_AVERAGE_TIMER = 0x30020400;          // seconds per operation

// PdhMakeCounterPathW / PdhParseCounterPathW flag (the only one honoured: no flags).
inline constexpr DWORD PDH_PATH_WBEM_RESULT = 0x1;

struct PDH_FMT_COUNTERVALUE {
    DWORD CStatus;
    union {
        LONG longValue;
        double doubleValue;
        LONGLONG largeValue;
        const char* AnsiStringValue;
        const WCHAR* WideStringValue;
    };
};

struct PDH_COUNTER_PATH_ELEMENTS_W {
    LPWSTR szMachineName;
    LPWSTR szObjectName;
    LPWSTR szInstanceName;
    LPWSTR szParentInstance;
    DWORD dwInstanceIndex;
    LPWSTR szCounterName;
};

struct PDH_COUNTER_INFO_W {
    DWORD dwLength;
    DWORD dwType;
    DWORD CVersion;
    DWORD CStatus;
    LONG lScale;
    LONG lDefaultScale;
    DWORD_PTR dwUserData;
    DWORD_PTR dwQueryUserData;
    LPWSTR szFullPath;
    PDH_COUNTER_PATH_ELEMENTS_W CounterPath;
    LPWSTR szExplainText;
    DWORD DataBuffer[1];
};

extern "C" {

// Opens a query on the live system. dataSource must be null (log files are not supported:
// PDH_INVALID_ARGUMENT).
PDH_STATUS PdhOpenQueryW(LPCWSTR dataSource, DWORD_PTR userData, PDH_HQUERY* query);
PDH_STATUS PdhCloseQuery(PDH_HQUERY query);
// Adds a counter. An unknown machine, object or counter is not added (PDH_CSTATUS_NO_MACHINE,
// _NO_OBJECT, _NO_COUNTER, _BAD_COUNTERNAME); an instance that does not exist yet is added and reads
// PDH_CSTATUS_NO_INSTANCE until it appears.
PDH_STATUS PdhAddCounterW(PDH_HQUERY query, LPCWSTR fullCounterPath, DWORD_PTR userData,
                          PDH_HCOUNTER* counter);
PDH_STATUS PdhRemoveCounter(PDH_HCOUNTER counter);
// Reads every source the query's counters need, each once. PDH_NO_DATA for a query without counters.
PDH_STATUS PdhCollectQueryData(PDH_HQUERY query);
// The value of the last collection. A counter whose status is neither valid nor new data gives
// PDH_INVALID_DATA with that status in CStatus and a zero value.
PDH_STATUS PdhGetFormattedCounterValue(PDH_HCOUNTER counter, DWORD format, DWORD* type,
                                       PDH_FMT_COUNTERVALUE* value);
// *bufferSize in bytes; a null buffer or too small a size gives PDH_MORE_DATA and the size needed.
PDH_STATUS PdhGetCounterInfoW(PDH_HCOUNTER counter, BOOLEAN retrieveExplainText, DWORD* bufferSize,
                              PDH_COUNTER_INFO_W* buffer);
// PDH_CSTATUS_VALID_DATA, or the reason the path names no counter.
PDH_STATUS PdhValidatePathW(LPCWSTR fullCounterPath);
// *bufferSize in bytes (struct plus strings stored after it).
PDH_STATUS PdhParseCounterPathW(LPCWSTR fullPathBuffer, PDH_COUNTER_PATH_ELEMENTS_W* elements,
                                DWORD* bufferSize, DWORD flags);
// *bufferSize in characters including the terminating null.
PDH_STATUS PdhMakeCounterPathW(const PDH_COUNTER_PATH_ELEMENTS_W* elements, LPWSTR fullPathBuffer,
                               DWORD* bufferSize, DWORD flags);
// Multi-string lists (each name null-terminated, the list ended by an empty string); sizes in
// characters; a null list or too small a size gives PDH_MORE_DATA and the size needed. An object
// without instances gives an instance list size of 0.
PDH_STATUS PdhEnumObjectsW(LPCWSTR dataSource, LPCWSTR machineName, LPWSTR objectList, DWORD* bufferSize,
                           DWORD detailLevel, BOOL refresh);
PDH_STATUS PdhEnumObjectItemsW(LPCWSTR dataSource, LPCWSTR machineName, LPCWSTR objectName,
                               LPWSTR counterList, DWORD* counterListSize, LPWSTR instanceList,
                               DWORD* instanceListSize, DWORD detailLevel, DWORD flags);

} // extern "C"

namespace zyn::pdh {

// Free-space figures of one mounted file system, as statvfs gives them.
struct FsUsage {
    std::uint64_t blocks = 0;
    std::uint64_t freeBlocks = 0;
    std::uint64_t availBlocks = 0;
    std::uint64_t fragmentSize = 0;
};

// Where a query reads from. Tests point the roots at recorded snapshots and inject the clock.
struct SourceConfig {
    std::string procRoot = "/proc";
    std::string sysRoot = "/sys";
    // Monotonic nanoseconds; empty means CLOCK_MONOTONIC.
    std::function<std::int64_t()> monotonicNs;
    // 0 means sysconf(_SC_CLK_TCK) / sysconf(_SC_PAGESIZE).
    long clockTicksPerSecond = 0;
    long pageSize = 0;
    // Free space of a mount point; empty means statvfs (remote file systems are never asked).
    std::function<bool(const std::string& mountPoint, FsUsage& usage)> statFs;
};

// The process-wide configuration used by PdhOpenQueryW and the enumeration calls: the roots come
// from SetSourceRoots, else ZYN_PDH_PROC_ROOT / ZYN_PDH_SYS_ROOT, else /proc and /sys.
SourceConfig CurrentSourceConfig();
void SetSourceRoots(std::string procRoot, std::string sysRoot);
// Opens a query with its own sources (the way tests run against snapshots without process state).
PDH_STATUS OpenQueryWithSources(const SourceConfig& sources, DWORD_PTR userData, PDH_HQUERY* query);
// Collects one counter on its own: its object's sources are read and only this counter moves on,
// so a counter added to a query that is already being sampled gets its baseline without the
// query's other counters losing the interval they are in. (A remote machine's counter takes its
// baseline at the next collection.)
PDH_STATUS CollectCounterData(PDH_HCOUNTER counter);
// Tells a query that its next collection is due in `dueInMs`. The remote machines its counters
// read (`\\HOST[:PORT]\…`, served by their node_exporter) are then scraped in parallel just before
// it, with a time limit of half the interval, and that collection takes what has arrived without
// waiting: a machine that is late or down reads PDH_NO_DATA or PDH_CSTATUS_NO_MACHINE that once.
// A collection nobody announced scrapes its machines itself and waits for them.
PDH_STATUS ScheduleCollection(PDH_HQUERY query, DWORD dueInMs);

struct ObjectDescription {
    std::u16string name;
    DWORD detailLevel = PERF_DETAIL_NOVICE;
    std::u16string explainText;
    bool hasInstances = false;
};

struct CounterDescription {
    std::u16string name;
    DWORD detailLevel = PERF_DETAIL_NOVICE;
    std::u16string explainText;
    DWORD type = 0;
    LONG defaultScale = 0;
};

// Counter-browser helpers. Objects whose sources are missing on this system are not listed.
std::vector<ObjectDescription> ListObjects(DWORD detailLevel);
std::vector<ObjectDescription> ListObjects(DWORD detailLevel, const SourceConfig& sources);
std::vector<CounterDescription> ListCounters(std::u16string_view object, DWORD detailLevel);
// Instance names as paths use them (`bash`, `bash#1`, `_Total`); empty for single-instance objects.
std::vector<std::u16string> ListInstances(std::u16string_view object);
std::vector<std::u16string> ListInstances(std::u16string_view object, const SourceConfig& sources);
// PDH_CSTATUS_VALID_DATA or the reason, against the given sources.
PDH_STATUS ValidatePath(std::u16string_view path, const SourceConfig& sources);
// The host name, as `\\name` paths use it (without the backslashes).
std::u16string LocalMachineName();
// Whether a machine name (without the backslashes) names this machine: empty, ".", "localhost" or
// the host name, without a port. Any other name is a remote machine.
bool IsLocalMachineName(std::u16string_view machine);

// Everything a machine offers at a detail level, for a counter browser. A remote machine is
// described from one scrape of its exporter (objects, counters and instances alike); one that
// cannot be reached gives PDH_CSTATUS_NO_MACHINE and the reason in words.
struct MachineDescription {
    struct Object {
        ObjectDescription object;
        std::vector<CounterDescription> counters;
        std::vector<std::u16string> instances;
    };
    PDH_STATUS status = PDH_CSTATUS_VALID_DATA;
    std::u16string error;
    std::vector<Object> objects;
};
MachineDescription DescribeMachine(std::u16string_view machine, DWORD detailLevel);

} // namespace zyn::pdh
