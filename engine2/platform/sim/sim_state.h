// The private state of SimMachine: registry, file system, processes and the
// rest of the simulated machine, and the handle table that ties them to the
// handles the program holds. Only the sim_*.cpp files include this.
#pragma once

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "base/text.h"
#include "base/utf8.h"
#include "platform/sim/sim_calls.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_paths.h"

namespace quenwick::sim {
namespace detail {

// --- Registry ----------------------------------------------------------------

struct RegValue {
  std::u16string name;
  std::u16string folded;
  RegistryValueData data;
};

struct RegKey {
  std::u16string name;
  std::u16string folded;
  RegKey* parent = nullptr;  // null for a root, and once deleted
  // Sorted by `folded`, the order in which a hive stores and enumerates them.
  std::vector<std::shared_ptr<RegKey>> subkeys;
  std::vector<RegValue> values;  // in creation order
  KeyAccess access;
  std::map<std::u16string, win::DWORD> refusedWrites;  // folded value name -> error
  bool isLink = false;    // a registry symbolic link (its target in "SymbolicLinkValue")
  bool permanent = false;  // roots and the current user's hive: never deleted
  bool deleted = false;    // removed from the tree; handles to it see ERROR_KEY_DELETED

  // Lookups by name, without regard to the case of A-Z.
  std::shared_ptr<RegKey> Subkey(std::u16string_view keyName) const;
  RegValue* Value(std::u16string_view valueName);
  // Adds a subkey (the name must not exist yet) in its sorted place.
  std::shared_ptr<RegKey> AddSubkey(std::u16string_view name);
  void RemoveSubkey(const RegKey* key);
};

struct KeyTarget {
  std::shared_ptr<RegKey> key;
  win::REGSAM access = 0;
  win::LSTATUS status = 0;  // nonzero when the handle is unusable
};

struct KeyHandle {
  std::shared_ptr<RegKey> key;
  win::REGSAM access = 0;  // granted rights
};

// --- File system -------------------------------------------------------------

struct FileNode {
  std::u16string name;
  std::u16string folded;
  std::u16string shortName;  // 8.3 form ("" when none)
  bool folder = false;
  // Stored attributes, without DIRECTORY, REPARSE_POINT and NORMAL (those
  // follow from the entry's kind).
  win::DWORD attributes = 0;
  std::optional<LinkKind> link;
  WinPath linkTarget;  // full normalised path
  FileNode* parent = nullptr;
  std::vector<std::unique_ptr<FileNode>> children;  // sorted by `folded`
  std::size_t shortNameCount = 0;  // children with a short name

  // Lookups by name, without regard to the case of A-Z.
  FileNode* Child(std::u16string_view childName) const;
  FileNode* ChildByShortName(std::u16string_view childName) const;
  FileNode* AddChild(std::u16string_view name, bool isFolder);
  FileNode* InsertChild(std::unique_ptr<FileNode> child);
  std::unique_ptr<FileNode> RemoveChild(const FileNode* child);
  // The attributes GetFileAttributesW reports.
  win::DWORD ReportedAttributes() const;
  win::DWORD ReparseTag() const;
};

// The outcome of walking a path.
struct FileLookup {
  FileNode* node = nullptr;    // the entry, when it exists
  FileNode* parent = nullptr;  // its folder, when that exists
  win::DWORD error = 0;        // 0, or 2 / 3 / 123 / 1921 when the walk failed
};

struct FoundEntry {
  std::u16string name;
  bool dotEntry = false;  // "." or ".."
  win::DWORD attributes = 0;
  win::DWORD reparseTag = 0;
  std::u16string shortName;
};

struct FindSearch {
  WinPath folder;  // the folder searched, as the program named it
  std::vector<FoundEntry> entries;
  std::size_t next = 0;
};

// --- Processes ---------------------------------------------------------------

struct ProcessRecord {
  SimProcess info;
  win::DWORD parentPid = 0;
  bool system = false;  // survives a restart
  std::optional<std::size_t> started;  // index into startedPrograms
  bool outlivesWait = false;           // a started program that does not end when waited for
};

struct Snapshot {
  std::vector<win::PROCESSENTRY32W> entries;
  std::size_t next = 0;
};

struct ProcessHandle {
  win::DWORD pid = 0;
  win::DWORD access = 0;
  bool thread = false;
};

struct TokenHandle {
  win::DWORD access = 0;
};

using HandleObject = std::variant<KeyHandle, FindSearch, Snapshot, ProcessHandle, TokenHandle>;

// --- Resources ---------------------------------------------------------------

struct Resource {
  std::u16string name;  // folded
  std::u16string type;  // folded string type, or "#<number>" for a numeric one
  std::vector<std::uint8_t> bytes;
  bool replaced = false;  // a later SetResource took its place
};

struct Privilege {
  const char16_t* name;
  win::DWORD luid;
};

}  // namespace detail

struct SimMachine::State {
  State();

  // --- Call accounting ---
  std::array<std::size_t, detail::kCallCount> counts{};
  std::size_t totalCalls = 0;
  bool logging = true;
  std::vector<std::string> callLog;
  win::DWORD lastError = 0;

  template <class Describe>
  void Record(detail::Call call, Describe&& describe) {
    ++counts[static_cast<std::size_t>(call)];
    ++totalCalls;
    if (logging) callLog.push_back(describe());
  }
  // ", error N" for a failed call, so that log lines show why.
  std::string ErrorSuffix(bool failed) const;

  // --- Handles ---
  std::uintptr_t nextHandle = 0x100;
  std::unordered_map<std::uintptr_t, detail::HandleObject> handles;
  std::uintptr_t AddHandle(detail::HandleObject object);
  template <class T>
  T* Find(std::uintptr_t value) {
    auto it = handles.find(value);
    if (it == handles.end()) return nullptr;
    return std::get_if<T>(&it->second);
  }

  // --- Registry ---
  std::shared_ptr<detail::RegKey> hklm, hku, hkcu, hkcr;
  std::shared_ptr<detail::RegKey> RootFor(win::HKEY key) const;
  detail::KeyTarget ResolveKey(win::HKEY handle);
  // Splits "HKEY_LOCAL_MACHINE\SOFTWARE\X" (short root names allowed) into a
  // root and the path below it.
  std::shared_ptr<detail::RegKey> ParseKeyPath(std::u16string_view path,
                                               std::u16string_view* rest) const;
  struct KeyWalk {
    std::shared_ptr<detail::RegKey> key;
    win::LSTATUS status = 0;
  };
  // Follows the components of `path` from `start`; links are followed except
  // the last component when `openLink`.
  KeyWalk WalkKey(std::shared_ptr<detail::RegKey> start, std::u16string_view path,
                  bool openLink, int depth = 0) const;
  KeyWalk LinkTarget(const detail::RegKey& link, int depth) const;
  // Creates missing keys along `path` (setup API; no access checks).
  std::shared_ptr<detail::RegKey> EnsureKey(std::u16string_view fullPath);
  std::shared_ptr<detail::RegKey> ExistingKey(std::u16string_view fullPath) const;
  std::u16string NativeKeyPath(std::u16string_view fullPath) const;
  win::LSTATUS DeleteKeyNode(const std::shared_ptr<detail::RegKey>& key);

  // --- File system ---
  std::map<char16_t, std::unique_ptr<detail::FileNode>> drives;
  std::set<std::u16string> lockedPaths;     // canonical folded paths
  std::set<std::u16string> deniedPaths;
  std::map<std::u16string, win::DWORD> failDelete;
  std::map<std::u16string, win::DWORD> failMove;
  std::set<std::u16string> protectedFiles;
  std::vector<std::u16string> pendingDeletions;

  detail::FileLookup Lookup(const detail::WinPath& path, bool followLast, int depth = 0) const;
  // The node a link refers to (null when its target is missing).
  detail::FileLookup FollowLink(const detail::FileNode& link, int depth) const;
  // The key under which per-path setup (locks, refusals) is filed: the
  // entry's canonical path, folded.
  static std::u16string CanonicalKey(const detail::FileNode& node);
  std::u16string KeyForPath(const detail::WinPath& path) const;
  std::u16string KeyForSetupPath(std::u16string_view path) const;
  detail::FileNode* EnsureFolder(const detail::WinPath& path);
  detail::FileNode* EnsureEntry(std::u16string_view path, bool folder);
  void RemoveNode(detail::FileNode* node);
  bool IsDescendant(const detail::FileNode* node, const detail::FileNode* ancestor) const;
  // Windows refuses to delete the image file of a running program.
  bool ImageInUse(const detail::FileNode& node) const;

  // --- Processes ---
  std::vector<detail::ProcessRecord> processes;
  win::DWORD nextPid = 1000;
  win::DWORD selfPid = 0;
  std::map<std::u16string, ProgramBehaviour> programBehaviour;  // canonical path key
  std::vector<StartedProgram> startedPrograms;
  std::vector<win::DWORD> sleeps;
  detail::ProcessRecord* Process(win::DWORD pid);
  // A process handle or the pseudo-handle of the current process, with the
  // rights it was opened with; null for anything else.
  detail::ProcessRecord* ProcessForHandle(win::HANDLE handle, win::DWORD* access);
  static std::u16string DisplayPath(const detail::FileNode& node);
  win::DWORD AddProcessRecord(std::u16string_view imagePath, ProcessOptions options,
                              bool system, win::DWORD pid = 0);

  // --- Environment and shell ---
  std::map<std::u16string, std::pair<std::u16string, std::u16string>> environment;  // folded
  std::map<int, std::u16string> shellFolders;
  std::set<int> failedShellFolders;

  // --- Resources ---
  std::deque<detail::Resource> resources;  // a deque keeps the bytes where they are
  bool failLoadResource = false;
  bool failLockResource = false;

  // --- Dialogue and console ---
  std::deque<int> answers;
  std::vector<MessageBoxRecord> messageBoxes;
  std::string transcript;
  std::size_t screenStart = 0;
  std::vector<std::string> commands;

  // --- Privileges and restart ---
  std::set<win::DWORD> heldPrivileges;
  std::set<win::DWORD> enabledPrivileges;
  bool failOpenProcessToken = false;
  std::vector<RestartRequest> restartRequests;
  win::UINT errorMode = 0;
};

namespace detail {
// The privileges LookupPrivilegeValueW knows, with their Windows LUIDs.
const std::vector<Privilege>& Privileges();
std::optional<win::DWORD> PrivilegeLuid(std::u16string_view name);
const char16_t* PrivilegeName(win::DWORD luid);
// Copies `text` and a terminator into `buffer` of `size` characters.
void CopyWithTerminator(std::u16string_view text, char16_t* buffer);
std::u16string ToUtf16Number(std::uintptr_t value);  // decimal digits
}  // namespace detail

}  // namespace quenwick::sim
