// The simulated file system: drives, files, folders, reparse points, and
// the file calls on them.
#include <algorithm>
#include <functional>

#include "platform/sim/sim_state.h"

namespace quenwick::sim {

using detail::Call;
using detail::Dec;
using detail::FileLookup;
using detail::FileNode;
using detail::CompareFolded;
using detail::Fold;
using detail::FormatCall;
using detail::Hex;
using detail::ParseWin32Path;
using detail::Text;
using detail::WinPath;

namespace {

// Windows gives up on a chain of reparse points deeper than this.
constexpr int kMaxLinkDepth = 31;

// The attributes SetFileAttributesW may change; DIRECTORY and REPARSE_POINT
// (and COMPRESSED, ENCRYPTED ...) stay as they are.
constexpr win::DWORD kSettableAttributes =
    win::FILE_ATTRIBUTE_READONLY | win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM |
    win::FILE_ATTRIBUTE_ARCHIVE | win::FILE_ATTRIBUTE_TEMPORARY | win::FILE_ATTRIBUTE_OFFLINE |
    win::FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Attributes that follow from the kind of entry rather than being stored.
constexpr win::DWORD kDerivedAttributes = win::FILE_ATTRIBUTE_DIRECTORY |
                                          win::FILE_ATTRIBUTE_REPARSE_POINT |
                                          win::FILE_ATTRIBUTE_NORMAL;
// What "C:\" reports on NTFS.
constexpr win::DWORD kDriveRootAttributes = win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_SYSTEM;
constexpr std::size_t kShortNameCapacity = 14;

WinPath ParentPath(const WinPath& path) {
  WinPath parent = path;
  parent.parts.pop_back();
  parent.trailingSeparator = false;  // callers check that it is a folder
  return parent;
}

bool Contains(const std::set<std::u16string>& set, const std::u16string& key) {
  return !set.empty() && set.count(key) != 0;
}

void FillFindData(const detail::FoundEntry& entry, win::WIN32_FIND_DATAW* data) {
  *data = win::WIN32_FIND_DATAW{};
  data->dwFileAttributes = entry.attributes;
  data->dwReserved0 = entry.reparseTag;
  const std::size_t n = std::min(entry.name.size(), win::MAX_PATH - 1);
  detail::CopyWithTerminator(std::u16string_view(entry.name).substr(0, n), data->cFileName);
  const std::size_t m = std::min(entry.shortName.size(), kShortNameCapacity - 1);
  detail::CopyWithTerminator(std::u16string_view(entry.shortName).substr(0, m),
                             data->cAlternateFileName);
}

}  // namespace

// --- Nodes -------------------------------------------------------------------

namespace detail {

FileNode* FileNode::Child(std::u16string_view childName) const {
  auto it = std::lower_bound(children.begin(), children.end(), childName,
                             [](const std::unique_ptr<FileNode>& c, std::u16string_view n) {
                               return CompareFolded(c->folded, n) < 0;
                             });
  if (it != children.end() && CompareFolded((*it)->folded, childName) == 0) return it->get();
  return nullptr;
}

FileNode* FileNode::ChildByShortName(std::u16string_view childName) const {
  if (shortNameCount == 0) return nullptr;
  for (const auto& c : children) {
    if (!c->shortName.empty() && EqualsIgnoreAsciiCase(c->shortName, childName)) return c.get();
  }
  return nullptr;
}

FileNode* FileNode::InsertChild(std::unique_ptr<FileNode> child) {
  child->parent = this;
  if (!child->shortName.empty()) ++shortNameCount;
  auto it = std::lower_bound(children.begin(), children.end(), child->folded,
                             [](const std::unique_ptr<FileNode>& c, const std::u16string& n) {
                               return c->folded < n;
                             });
  return children.insert(it, std::move(child))->get();
}

FileNode* FileNode::AddChild(std::u16string_view childName, bool isFolder) {
  auto child = std::make_unique<FileNode>();
  child->name = childName;
  child->folded = Fold(childName);
  child->folder = isFolder;
  return InsertChild(std::move(child));
}

std::unique_ptr<FileNode> FileNode::RemoveChild(const FileNode* child) {
  for (auto it = children.begin(); it != children.end(); ++it) {
    if (it->get() != child) continue;
    std::unique_ptr<FileNode> removed = std::move(*it);
    children.erase(it);
    if (!removed->shortName.empty()) --shortNameCount;
    removed->parent = nullptr;
    return removed;
  }
  return nullptr;
}

win::DWORD FileNode::ReportedAttributes() const {
  win::DWORD a = attributes;
  if (folder) a |= win::FILE_ATTRIBUTE_DIRECTORY;
  if (link) a |= win::FILE_ATTRIBUTE_REPARSE_POINT;
  // Windows reports NORMAL only for a file with no other attribute.
  return a == 0 ? win::FILE_ATTRIBUTE_NORMAL : a;
}

win::DWORD FileNode::ReparseTag() const {
  if (!link) return 0;
  return *link == LinkKind::Junction ? win::IO_REPARSE_TAG_MOUNT_POINT
                                     : win::IO_REPARSE_TAG_SYMLINK;
}

}  // namespace detail

// --- Walking paths ---------------------------------------------------------------

FileLookup SimMachine::State::Lookup(const WinPath& path, bool followLast, int depth) const {
  if (depth > kMaxLinkDepth) return {nullptr, nullptr, win::ERROR_CANT_RESOLVE_FILENAME};
  auto drive = drives.find(path.drive);
  if (drive == drives.end()) return {nullptr, nullptr, win::ERROR_PATH_NOT_FOUND};
  FileNode* current = drive->second.get();
  if (path.parts.empty()) return {current, nullptr, 0};
  for (std::size_t i = 0; i < path.parts.size(); ++i) {
    const bool last = i + 1 == path.parts.size();
    const std::u16string& part = path.parts[i];
    FileNode* child = current->Child(part);
    if (child == nullptr) child = current->ChildByShortName(part);
    if (child == nullptr) {
      return last ? FileLookup{nullptr, current, win::ERROR_FILE_NOT_FOUND}
                  : FileLookup{nullptr, nullptr, win::ERROR_PATH_NOT_FOUND};
    }
    if (last) {
      if (child->link && followLast) return FollowLink(*child, depth + 1);
      // "file.txt\" names a folder that a file cannot be.
      if (path.trailingSeparator && !child->folder) {
        return {nullptr, current, win::ERROR_INVALID_NAME};
      }
      return {child, current, 0};
    }
    if (child->link) {
      FileLookup target = FollowLink(*child, depth + 1);
      if (target.node == nullptr) return {nullptr, nullptr, win::ERROR_PATH_NOT_FOUND};
      child = target.node;
    }
    if (!child->folder) return {nullptr, nullptr, win::ERROR_PATH_NOT_FOUND};
    current = child;
  }
  return {nullptr, nullptr, win::ERROR_PATH_NOT_FOUND};  // not reached
}

FileLookup SimMachine::State::FollowLink(const FileNode& link, int depth) const {
  return Lookup(link.linkTarget, true, depth);
}

std::u16string SimMachine::State::CanonicalKey(const FileNode& node) {
  std::vector<const FileNode*> chain;
  for (const FileNode* n = &node; n != nullptr; n = n->parent) chain.push_back(n);
  std::u16string key = chain.back()->folded;  // "C:"
  if (chain.size() == 1) return key + u"\\";
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) {
    key += u'\\';
    key += (*it)->folded;
  }
  return key;
}

std::u16string SimMachine::State::KeyForPath(const WinPath& path) const {
  if (path.parts.empty()) return Fold(path.Text());
  FileLookup parent = Lookup(ParentPath(path), true);
  if (parent.node == nullptr || !parent.node->folder) return Fold(path.Text());
  const std::u16string folded = Fold(path.parts.back());
  const FileNode* entry = parent.node->Child(folded);
  if (entry == nullptr) entry = parent.node->ChildByShortName(folded);
  if (entry != nullptr) return CanonicalKey(*entry);
  std::u16string key = CanonicalKey(*parent.node);
  if (key.back() != u'\\') key += u'\\';
  return key + folded;
}

std::u16string SimMachine::State::KeyForSetupPath(std::u16string_view path) const {
  detail::ParsedPath parsed = ParseWin32Path(path, false);
  if (parsed.error != 0) return Fold(path);
  return KeyForPath(parsed.path);
}

FileNode* SimMachine::State::EnsureFolder(const WinPath& path) {
  auto& root = drives[path.drive];
  if (!root) {
    // Setup on a drive that was never added adds it.
    root = std::make_unique<FileNode>();
    root->name = std::u16string(1, path.drive) + u":";
    root->folded = root->name;
    root->folder = true;
    root->attributes = kDriveRootAttributes;
  }
  FileNode* current = root.get();
  for (const std::u16string& part : path.parts) {
    FileNode* child = current->Child(part);
    if (child != nullptr && child->link) {
      child = FollowLink(*child, 1).node;
      if (child == nullptr) return nullptr;  // nothing can be made behind a dangling link
    }
    if (child != nullptr && !child->folder) return nullptr;
    current = child != nullptr ? child : current->AddChild(part, true);
  }
  return current;
}

FileNode* SimMachine::State::EnsureEntry(std::u16string_view text, bool folder) {
  detail::ParsedPath parsed = ParseWin32Path(text, false);
  if (parsed.error != 0) return nullptr;
  if (parsed.path.parts.empty()) return folder ? EnsureFolder(parsed.path) : nullptr;
  FileNode* parent = EnsureFolder(ParentPath(parsed.path));
  if (parent == nullptr) return nullptr;
  const std::u16string& name = parsed.path.parts.back();
  if (FileNode* existing = parent->Child(name)) {
    if (existing->folder == folder && !existing->link) return existing;
    parent->RemoveChild(existing);
  }
  return parent->AddChild(name, folder);
}

void SimMachine::State::RemoveNode(FileNode* node) {
  if (node->parent != nullptr) node->parent->RemoveChild(node);
}

bool SimMachine::State::IsDescendant(const FileNode* node, const FileNode* ancestor) const {
  for (const FileNode* n = node; n != nullptr; n = n->parent) {
    if (n == ancestor) return true;
  }
  return false;
}

bool SimMachine::State::ImageInUse(const FileNode& node) const {
  std::u16string key;
  for (const detail::ProcessRecord& p : processes) {
    if (!p.info.running || p.info.imagePath.empty()) continue;
    if (key.empty()) key = CanonicalKey(node);
    if (KeyForSetupPath(p.info.imagePath) == key) return true;
  }
  return false;
}

// --- Setup and inspection ------------------------------------------------------------

void SimMachine::AddDrive(char16_t letter) {
  WinPath root;
  root.drive = ToUpperAscii(letter);
  state_->EnsureFolder(root);
}

void SimMachine::AddFile(std::u16string_view path, win::DWORD attributes) {
  if (FileNode* node = state_->EnsureEntry(path, false)) {
    node->attributes = attributes & ~kDerivedAttributes;
  }
}

void SimMachine::AddFolder(std::u16string_view path, win::DWORD attributes) {
  if (FileNode* node = state_->EnsureEntry(path, true)) {
    node->attributes = attributes & ~kDerivedAttributes;
  }
}

void SimMachine::AddLink(std::u16string_view path, std::u16string_view target, LinkKind kind) {
  detail::ParsedPath parsedTarget = ParseWin32Path(target, false);
  detail::ParsedPath parsed = ParseWin32Path(path, false);
  if (parsed.error != 0 || parsedTarget.error != 0 || parsed.path.parts.empty()) return;
  FileNode* parent = state_->EnsureFolder(ParentPath(parsed.path));
  if (parent == nullptr) return;
  const std::u16string& name = parsed.path.parts.back();
  if (FileNode* existing = parent->Child(name)) parent->RemoveChild(existing);
  FileNode* link = parent->AddChild(name, kind != LinkKind::FileSymlink);
  link->link = kind;
  link->linkTarget = parsedTarget.path;
  link->attributes = kind == LinkKind::FileSymlink ? win::FILE_ATTRIBUTE_ARCHIVE : 0;
}

void SimMachine::LockFile(std::u16string_view path) {
  state_->lockedPaths.insert(state_->KeyForSetupPath(path));
}

void SimMachine::UnlockFile(std::u16string_view path) {
  state_->lockedPaths.erase(state_->KeyForSetupPath(path));
}

void SimMachine::DenyDelete(std::u16string_view path) {
  state_->deniedPaths.insert(state_->KeyForSetupPath(path));
}

void SimMachine::FailDelete(std::u16string_view path, win::DWORD error) {
  state_->failDelete[state_->KeyForSetupPath(path)] = error;
}

void SimMachine::FailMove(std::u16string_view path, win::DWORD error) {
  state_->failMove[state_->KeyForSetupPath(path)] = error;
}

void SimMachine::SetShortName(std::u16string_view longPath, std::u16string_view shortPath) {
  detail::ParsedPath parsedLong = ParseWin32Path(longPath, false);
  detail::ParsedPath parsedShort = ParseWin32Path(shortPath, false);
  if (parsedLong.error != 0 || parsedShort.error != 0 || parsedShort.path.parts.empty()) return;
  FileLookup entry = state_->Lookup(parsedLong.path, false);
  if (entry.node == nullptr || entry.parent == nullptr) return;
  if (entry.node->shortName.empty()) ++entry.parent->shortNameCount;
  entry.node->shortName = parsedShort.path.parts.back();
}

void SimMachine::ProtectSystemFile(std::u16string_view path) {
  detail::ParsedPath parsed = ParseWin32Path(path, false);
  if (parsed.error == 0) state_->protectedFiles.insert(Fold(parsed.path.Text()));
}

bool SimMachine::PathExists(std::u16string_view path) const {
  return Attributes(path) != win::INVALID_FILE_ATTRIBUTES;
}

win::DWORD SimMachine::Attributes(std::u16string_view path) const {
  detail::ParsedPath parsed = ParseWin32Path(path, false);
  if (parsed.error != 0) return win::INVALID_FILE_ATTRIBUTES;
  FileLookup entry = state_->Lookup(parsed.path, false);
  return entry.node ? entry.node->ReportedAttributes() : win::INVALID_FILE_ATTRIBUTES;
}

std::vector<std::u16string> SimMachine::PendingDeletions() const {
  return state_->pendingDeletions;
}

std::string SimMachine::DescribeFiles() const {
  std::string out;
  std::function<void(const FileNode&, const std::u16string&)> describe =
      [&](const FileNode& node, const std::u16string& path) {
        std::string line = ToUtf8(path);
        if (node.folder && path.back() != u'\\') line += '\\';
        line += " [";
        const win::DWORD a = node.ReportedAttributes();
        if (a & win::FILE_ATTRIBUTE_DIRECTORY) line += 'D';
        if (a & win::FILE_ATTRIBUTE_READONLY) line += 'R';
        if (a & win::FILE_ATTRIBUTE_HIDDEN) line += 'H';
        if (a & win::FILE_ATTRIBUTE_SYSTEM) line += 'S';
        if (a & win::FILE_ATTRIBUTE_ARCHIVE) line += 'A';
        if (a & win::FILE_ATTRIBUTE_REPARSE_POINT) line += 'L';
        line += ']';
        if (node.link) line += " -> " + ToUtf8(node.linkTarget.Text());
        out += line;
        out += '\n';
        if (node.link) return;
        for (const auto& child : node.children) {
          std::u16string childPath = path;
          if (childPath.back() != u'\\') childPath += u'\\';
          describe(*child, childPath + child->name);
        }
      };
  for (const auto& [letter, root] : state_->drives) {
    describe(*root, std::u16string(1, letter) + u":\\");
  }
  return out;
}

// --- Platform calls ------------------------------------------------------------------

win::DWORD SimMachine::GetFileAttributesW(const char16_t* path) {
  State& s = *state_;
  win::DWORD result = win::INVALID_FILE_ATTRIBUTES;
  detail::ParsedPath parsed = ParseWin32Path(path ? path : u"");
  if (parsed.error != 0) {
    s.lastError = parsed.error;
  } else {
    // The entry itself: a link shows as a reparse point and is not followed.
    FileLookup entry = s.Lookup(parsed.path, false);
    if (entry.node) {
      result = entry.node->ReportedAttributes();
    } else {
      s.lastError = entry.error;
    }
  }
  s.Record(Call::GetFileAttributesW, [&] {
    return FormatCall(Call::GetFileAttributesW, {Text(path)},
                      Hex(result) + s.ErrorSuffix(result == win::INVALID_FILE_ATTRIBUTES));
  });
  return result;
}

win::BOOL SimMachine::SetFileAttributesW(const char16_t* path, win::DWORD attributes) {
  State& s = *state_;
  win::BOOL ok = 0;
  detail::ParsedPath parsed = ParseWin32Path(path ? path : u"");
  if (parsed.error != 0) {
    s.lastError = parsed.error;
  } else if (FileLookup entry = s.Lookup(parsed.path, false); !entry.node) {
    s.lastError = entry.error;
  } else if (Contains(s.deniedPaths, State::CanonicalKey(*entry.node))) {
    s.lastError = win::ERROR_ACCESS_DENIED;
  } else {
    entry.node->attributes =
        (entry.node->attributes & ~kSettableAttributes) | (attributes & kSettableAttributes);
    ok = 1;
  }
  s.Record(Call::SetFileAttributesW, [&] {
    return FormatCall(Call::SetFileAttributesW, {Text(path), Hex(attributes)},
                      Dec(ok) + s.ErrorSuffix(!ok));
  });
  return ok;
}

win::BOOL SimMachine::DeleteFileW(const char16_t* path) {
  State& s = *state_;
  win::BOOL ok = 0;
  detail::ParsedPath parsed = ParseWin32Path(path ? path : u"");
  FileLookup entry;
  if (parsed.error == 0) entry = s.Lookup(parsed.path, false);
  if (parsed.error != 0) {
    s.lastError = parsed.error;
  } else if (!entry.node) {
    s.lastError = entry.error;
  } else {
    const std::u16string key = State::CanonicalKey(*entry.node);
    auto injected = s.failDelete.find(key);
    if (injected != s.failDelete.end()) {
      s.lastError = injected->second;
    } else if (entry.node->folder || entry.parent == nullptr) {
      s.lastError = win::ERROR_ACCESS_DENIED;  // folders (folder links too) need RemoveDirectoryW
    } else if (Contains(s.deniedPaths, key)) {
      s.lastError = win::ERROR_ACCESS_DENIED;
    } else if (Contains(s.lockedPaths, key)) {
      // The open for deletion fails before the read-only bit is looked at.
      s.lastError = win::ERROR_SHARING_VIOLATION;
    } else if (entry.node->attributes & win::FILE_ATTRIBUTE_READONLY) {
      s.lastError = win::ERROR_ACCESS_DENIED;
    } else if (!entry.node->link && s.ImageInUse(*entry.node)) {
      s.lastError = win::ERROR_ACCESS_DENIED;
    } else {
      s.RemoveNode(entry.node);  // a file link goes as itself; its target stays
      ok = 1;
    }
  }
  s.Record(Call::DeleteFileW, [&] {
    return FormatCall(Call::DeleteFileW, {Text(path)}, Dec(ok) + s.ErrorSuffix(!ok));
  });
  return ok;
}

win::BOOL SimMachine::RemoveDirectoryW(const char16_t* path) {
  State& s = *state_;
  win::BOOL ok = 0;
  detail::ParsedPath parsed = ParseWin32Path(path ? path : u"");
  FileLookup entry;
  if (parsed.error == 0) entry = s.Lookup(parsed.path, false);
  if (parsed.error != 0) {
    s.lastError = parsed.error;
  } else if (!entry.node) {
    s.lastError = entry.error;
  } else {
    const std::u16string key = State::CanonicalKey(*entry.node);
    auto injected = s.failDelete.find(key);
    if (injected != s.failDelete.end()) {
      s.lastError = injected->second;
    } else if (entry.parent == nullptr) {
      s.lastError = win::ERROR_ACCESS_DENIED;  // a drive's root
    } else if (!entry.node->folder) {
      s.lastError = win::ERROR_DIRECTORY;
    } else if (Contains(s.deniedPaths, key)) {
      s.lastError = win::ERROR_ACCESS_DENIED;
    } else if (Contains(s.lockedPaths, key)) {
      s.lastError = win::ERROR_SHARING_VIOLATION;
    } else if (entry.node->attributes & win::FILE_ATTRIBUTE_READONLY) {
      s.lastError = win::ERROR_ACCESS_DENIED;
    } else if (!entry.node->link && !entry.node->children.empty()) {
      s.lastError = win::ERROR_DIR_NOT_EMPTY;
    } else {
      // A junction or directory link goes as itself, whatever its target holds.
      s.RemoveNode(entry.node);
      ok = 1;
    }
  }
  s.Record(Call::RemoveDirectoryW, [&] {
    return FormatCall(Call::RemoveDirectoryW, {Text(path)}, Dec(ok) + s.ErrorSuffix(!ok));
  });
  return ok;
}

win::BOOL SimMachine::MoveFileExW(const char16_t* existing, const char16_t* newName,
                                  win::DWORD flags) {
  State& s = *state_;
  win::BOOL ok = 0;
  detail::ParsedPath source = ParseWin32Path(existing ? existing : u"");
  std::u16string sourceKey;
  if (source.error == 0) sourceKey = s.KeyForPath(source.path);
  auto injected = s.failMove.find(sourceKey);
  if (source.error != 0) {
    s.lastError = source.error;
  } else if (injected != s.failMove.end()) {
    s.lastError = injected->second;
  } else if (newName == nullptr) {
    if (flags & win::MOVEFILE_DELAY_UNTIL_REBOOT) {
      // Registering a deletion for the next start writes the path to the
      // registry; Windows does not look at the file now.
      s.pendingDeletions.emplace_back(existing);
      ok = 1;
    } else {
      s.lastError = win::ERROR_INVALID_PARAMETER;
    }
  } else if (flags & win::MOVEFILE_DELAY_UNTIL_REBOOT) {
    // Renames at the next start are not simulated; the program only
    // registers deletions.
    s.lastError = win::ERROR_NOT_SUPPORTED;
  } else {
    detail::ParsedPath target = ParseWin32Path(newName);
    FileLookup from = s.Lookup(source.path, false);
    FileLookup to;
    if (target.error == 0) to = s.Lookup(target.path, false);
    if (!from.node) {
      s.lastError = from.error;
    } else if (target.error != 0) {
      s.lastError = target.error;
    } else if (from.parent == nullptr || Contains(s.lockedPaths, sourceKey)) {
      s.lastError = from.parent == nullptr ? win::ERROR_ACCESS_DENIED : win::ERROR_SHARING_VIOLATION;
    } else if (to.node && to.node != from.node && !(flags & win::MOVEFILE_REPLACE_EXISTING)) {
      s.lastError = win::ERROR_ALREADY_EXISTS;
    } else if (to.node && to.node != from.node && to.node->folder) {
      s.lastError = win::ERROR_ACCESS_DENIED;
    } else if (!to.node && to.error != win::ERROR_FILE_NOT_FOUND) {
      s.lastError = to.error;
    } else if (s.IsDescendant(to.parent, from.node)) {
      s.lastError = win::ERROR_ACCESS_DENIED;  // a folder cannot move into itself
    } else {
      FileNode* newParent = to.parent;
      if (to.node && to.node != from.node) s.RemoveNode(to.node);
      std::unique_ptr<FileNode> moved = from.parent->RemoveChild(from.node);
      moved->name = target.path.parts.back();
      moved->folded = Fold(moved->name);
      newParent->InsertChild(std::move(moved));
      ok = 1;
    }
  }
  s.Record(Call::MoveFileExW, [&] {
    return FormatCall(Call::MoveFileExW, {Text(existing), Text(newName), Hex(flags)},
                      Dec(ok) + s.ErrorSuffix(!ok));
  });
  return ok;
}

win::HFIND SimMachine::FindFirstFileW(const char16_t* pattern, win::WIN32_FIND_DATAW* data) {
  State& s = *state_;
  win::HFIND result = win::INVALID_FIND_HANDLE;
  detail::ParsedPath parsed = ParseWin32Path(pattern ? pattern : u"", true, true);
  if (parsed.error != 0) {
    s.lastError = parsed.error;
  } else if (parsed.path.parts.empty() || parsed.path.trailingSeparator) {
    s.lastError = win::ERROR_FILE_NOT_FOUND;  // "C:\dir\" names no entry to find
  } else {
    const WinPath folderPath = ParentPath(parsed.path);
    const std::u16string& mask = parsed.path.parts.back();
    FileLookup folder = s.Lookup(folderPath, true);
    if (!folder.node) {
      s.lastError = win::ERROR_PATH_NOT_FOUND;
    } else if (!folder.node->folder) {
      s.lastError = win::ERROR_DIRECTORY;
    } else {
      detail::FindSearch search;
      search.folder = folderPath;
      auto addDot = [&](std::u16string_view name, const FileNode& node) {
        if (!detail::MatchesPattern(mask, name)) return;
        search.entries.push_back({std::u16string(name), true, node.ReportedAttributes(),
                                  node.ReparseTag(), {}});
      };
      if (folder.node->parent != nullptr) {
        addDot(u".", *folder.node);
        addDot(u"..", *folder.node->parent);
      }
      for (const auto& child : folder.node->children) {
        if (!detail::MatchesPattern(mask, child->name)) continue;
        search.entries.push_back({child->name, false, child->ReportedAttributes(),
                                  child->ReparseTag(), child->shortName});
      }
      if (search.entries.empty()) {
        s.lastError = win::ERROR_FILE_NOT_FOUND;
      } else {
        if (data) FillFindData(search.entries.front(), data);
        search.next = 1;
        result.value = s.AddHandle(std::move(search));
      }
    }
  }
  s.Record(Call::FindFirstFileW, [&] {
    return FormatCall(Call::FindFirstFileW, {Text(pattern)},
                      result == win::INVALID_FIND_HANDLE
                          ? "INVALID" + s.ErrorSuffix(true)
                          : Hex(result.value) + " " + (data ? Text(data->cFileName) : ""));
  });
  return result;
}

win::BOOL SimMachine::FindNextFileW(win::HFIND find, win::WIN32_FIND_DATAW* data) {
  State& s = *state_;
  win::BOOL ok = 0;
  detail::FindSearch* search = s.Find<detail::FindSearch>(find.value);
  if (search == nullptr) {
    s.lastError = win::ERROR_INVALID_HANDLE;
  } else {
    // The names are those the folder held at FindFirstFileW; an entry deleted
    // since is passed over.
    FileLookup folder = s.Lookup(search->folder, true);
    while (!ok && search->next < search->entries.size()) {
      detail::FoundEntry& entry = search->entries[search->next++];
      if (!entry.dotEntry) {
        const FileNode* node =
            folder.node && folder.node->folder ? folder.node->Child(entry.name) : nullptr;
        if (node == nullptr) continue;
        entry.attributes = node->ReportedAttributes();
        entry.reparseTag = node->ReparseTag();
      }
      if (data) FillFindData(entry, data);
      ok = 1;
    }
    if (!ok) s.lastError = win::ERROR_NO_MORE_FILES;
  }
  s.Record(Call::FindNextFileW, [&] {
    return FormatCall(Call::FindNextFileW, {Hex(find.value)},
                      Dec(ok) + (ok && data ? " " + Text(data->cFileName) : s.ErrorSuffix(!ok)));
  });
  return ok;
}

win::BOOL SimMachine::FindClose(win::HFIND find) {
  State& s = *state_;
  win::BOOL ok = 0;
  if (s.Find<detail::FindSearch>(find.value) != nullptr) {
    s.handles.erase(find.value);
    ok = 1;
  } else {
    s.lastError = win::ERROR_INVALID_HANDLE;
  }
  s.Record(Call::FindClose,
           [&] { return FormatCall(Call::FindClose, {Hex(find.value)}, Dec(ok)); });
  return ok;
}

win::DWORD SimMachine::GetLongPathNameW(const char16_t* path, char16_t* buffer,
                                        win::DWORD size) {
  State& s = *state_;
  win::DWORD result = 0;
  const std::u16string_view given = path ? std::u16string_view(path) : std::u16string_view();
  detail::ParsedPath parsed = ParseWin32Path(given);
  std::u16string longPath;
  if (parsed.error != 0) {
    s.lastError = parsed.error;
  } else if (auto drive = s.drives.find(parsed.path.drive); drive == s.drives.end()) {
    s.lastError = win::ERROR_PATH_NOT_FOUND;
  } else {
    // Each component in the case it is stored with, short names expanded;
    // links stay as named (their names are part of the path). The path is
    // normalised first (Windows leaves relative paths relative).
    std::u16string_view bare = given;
    if (parsed.path.longPrefix) {
      longPath = u"\\\\?\\";
      bare.remove_prefix(4);
    }
    longPath += bare.size() >= 2 && bare[1] == u':' ? bare[0] : parsed.path.drive;
    longPath += u":\\";
    const FileNode* current = drive->second.get();
    for (std::size_t i = 0; i < parsed.path.parts.size(); ++i) {
      const std::u16string folded = Fold(parsed.path.parts[i]);
      const FileNode* child = current ? current->Child(folded) : nullptr;
      if (child == nullptr && current) child = current->ChildByShortName(folded);
      if (child == nullptr) {
        current = nullptr;
        break;
      }
      if (i > 0) longPath += u'\\';
      longPath += child->name;
      current = child->link ? s.FollowLink(*child, 1).node : child;
      if (i + 1 < parsed.path.parts.size() && (current == nullptr || !current->folder)) {
        current = nullptr;
        break;
      }
    }
    if (current == nullptr) {
      s.lastError = win::ERROR_FILE_NOT_FOUND;
      longPath.clear();
    } else {
      if (parsed.path.trailingSeparator && !parsed.path.parts.empty()) longPath += u'\\';
      if (size < longPath.size() + 1) {
        result = static_cast<win::DWORD>(longPath.size() + 1);
      } else {
        detail::CopyWithTerminator(longPath, buffer);
        result = static_cast<win::DWORD>(longPath.size());
      }
    }
  }
  s.Record(Call::GetLongPathNameW, [&] {
    return FormatCall(Call::GetLongPathNameW, {Text(path), Dec(size)},
                      Dec(result) + (result ? " " + Text(longPath) : s.ErrorSuffix(true)));
  });
  return result;
}

win::DWORD SimMachine::GetFullPathNameW(const char16_t* path, win::DWORD size, char16_t* buffer,
                                        char16_t** filePart) {
  State& s = *state_;
  win::DWORD result = 0;
  // Purely lexical, and without the MAX_PATH limit, as on Windows.
  detail::ParsedPath parsed = ParseWin32Path(path ? path : u"", false, true, false);
  std::u16string full;
  if (parsed.error != 0) {
    s.lastError = parsed.error;
  } else {
    full = parsed.path.Text();
    if (parsed.path.trailingSeparator && !parsed.path.parts.empty()) full += u'\\';
    if (size < full.size() + 1) {
      result = static_cast<win::DWORD>(full.size() + 1);
    } else {
      detail::CopyWithTerminator(full, buffer);
      result = static_cast<win::DWORD>(full.size());
      if (filePart != nullptr) {
        *filePart = nullptr;
        if (!parsed.path.parts.empty() && !parsed.path.trailingSeparator) {
          *filePart = buffer + (full.size() - parsed.path.parts.back().size());
        }
      }
    }
  }
  s.Record(Call::GetFullPathNameW, [&] {
    return FormatCall(Call::GetFullPathNameW, {Text(path), Dec(size)}, Dec(result));
  });
  return result;
}

win::BOOL SimMachine::SfcIsFileProtected(win::HANDLE /*rpc*/, const char16_t* path) {
  State& s = *state_;
  detail::ParsedPath parsed = ParseWin32Path(path ? path : u"", false);
  const win::BOOL isProtected =
      parsed.error == 0 && Contains(s.protectedFiles, Fold(parsed.path.Text())) ? 1 : 0;
  s.Record(Call::SfcIsFileProtected, [&] {
    return FormatCall(Call::SfcIsFileProtected, {Text(path)}, Dec(isProtected));
  });
  return isProtected;
}

win::DWORD SimMachine::GetLogicalDriveStringsW(win::DWORD size, char16_t* buffer) {
  State& s = *state_;
  std::u16string strings;
  for (const auto& [letter, root] : s.drives) {
    strings += letter;
    strings += u":\\";
    strings += u'\0';
  }
  win::DWORD result = static_cast<win::DWORD>(strings.size());
  if (size < strings.size() + 1 || buffer == nullptr) {
    result = static_cast<win::DWORD>(strings.size() + 1);
  } else {
    detail::CopyWithTerminator(strings, buffer);
  }
  s.Record(Call::GetLogicalDriveStringsW, [&] {
    return FormatCall(Call::GetLogicalDriveStringsW, {Dec(size)}, Dec(result));
  });
  return result;
}

// --- Restart -------------------------------------------------------------------------

void SimMachine::Restart() {
  State& s = *state_;
  // The session manager deletes the registered paths in order, before any
  // program runs: nothing holds them open any more, but a read-only file
  // and a folder that is not empty by then stay where they are.
  for (const std::u16string& path : s.pendingDeletions) {
    detail::ParsedPath parsed = ParseWin32Path(path, false);
    if (parsed.error != 0) continue;
    FileLookup entry = s.Lookup(parsed.path, false);
    FileNode* node = entry.node;
    if (node == nullptr || entry.parent == nullptr) continue;
    if (node->attributes & win::FILE_ATTRIBUTE_READONLY) continue;
    if (node->folder && !node->link && !node->children.empty()) continue;
    s.RemoveNode(node);
  }
  s.pendingDeletions.clear();
  s.lockedPaths.clear();
  for (detail::ProcessRecord& p : s.processes) {
    if (!p.system) p.info.running = false;
  }
}

}  // namespace quenwick::sim
