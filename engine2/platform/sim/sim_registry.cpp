// The simulated registry: keys, values, access rights, symbolic links and
// the Reg* calls on them.
#include <algorithm>

#include "base/little_endian.h"
#include "base/utf16le.h"
#include "platform/sim/sim_state.h"

namespace quenwick::sim {

using detail::Call;
using detail::Dec;
using detail::CompareFolded;
using detail::Fold;
using detail::FormatCall;
using detail::Hex;
using detail::KeyName;
using detail::RegKey;
using detail::Text;

namespace {

constexpr std::u16string_view kLinkValueName = u"SymbolicLinkValue";
// Windows gives up on chains of registry links deeper than this.
constexpr int kMaxLinkDepth = 16;
constexpr std::u16string_view kNativeMachine = u"\\REGISTRY\\MACHINE";
constexpr std::u16string_view kNativeUser = u"\\REGISTRY\\USER";

constexpr win::REGSAM kReadRights =
    win::KEY_QUERY_VALUE | win::KEY_ENUMERATE_SUB_KEYS | win::KEY_NOTIFY;
constexpr win::REGSAM kWriteRights = win::KEY_SET_VALUE | win::KEY_CREATE_SUB_KEY |
                                     win::KEY_CREATE_LINK | win::DELETE | win::WRITE_DAC |
                                     win::WRITE_OWNER;

win::REGSAM MapGeneric(win::REGSAM access) {
  access &= ~(win::KEY_WOW64_32KEY | win::KEY_WOW64_64KEY);
  if (access & win::GENERIC_READ) access = (access & ~win::GENERIC_READ) | win::KEY_READ;
  if (access & win::GENERIC_WRITE) access = (access & ~win::GENERIC_WRITE) | win::KEY_WRITE;
  if (access & win::GENERIC_ALL) access = (access & ~win::GENERIC_ALL) | win::KEY_ALL_ACCESS;
  return access;
}

win::REGSAM AllowedRights(const KeyAccess& access) {
  return win::READ_CONTROL | (access.readable ? kReadRights : 0) |
         (access.writable ? kWriteRights : 0);
}

// The rights a handle gets for `requested`, or nothing when the key refuses
// them: read rights need a readable key, any write or delete right a
// writable one.
std::optional<win::REGSAM> Grant(const KeyAccess& access, win::REGSAM requested) {
  win::REGSAM wanted = MapGeneric(requested);
  const win::REGSAM allowed = AllowedRights(access);
  const bool maximum = (wanted & win::MAXIMUM_ALLOWED) != 0;
  wanted &= ~win::MAXIMUM_ALLOWED;
  if ((wanted & ~allowed) != 0) return std::nullopt;
  return maximum ? allowed : wanted;
}

// The components of a key path; empty ones (doubled or trailing "\") are
// skipped, as the configuration manager does.
std::vector<std::u16string_view> Components(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  parts.reserve(8);
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find(u'\\', pos);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > pos) parts.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

void SetValueOn(RegKey& key, std::u16string_view name, win::DWORD type,
                std::vector<std::uint8_t> bytes) {
  if (detail::RegValue* existing = key.Value(name)) {
    existing->data.type = type;
    existing->data.bytes = std::move(bytes);
    return;
  }
  key.values.push_back({std::u16string(name), Fold(name), {type, std::move(bytes)}});
}

}  // namespace

// --- Nodes -------------------------------------------------------------------

namespace detail {

std::shared_ptr<RegKey> RegKey::Subkey(std::u16string_view keyName) const {
  auto it = std::lower_bound(subkeys.begin(), subkeys.end(), keyName,
                             [](const std::shared_ptr<RegKey>& k, std::u16string_view n) {
                               return CompareFolded(k->folded, n) < 0;
                             });
  if (it != subkeys.end() && CompareFolded((*it)->folded, keyName) == 0) return *it;
  return nullptr;
}

RegValue* RegKey::Value(std::u16string_view valueName) {
  for (RegValue& v : values) {
    if (CompareFolded(v.folded, valueName) == 0) return &v;
  }
  return nullptr;
}

std::shared_ptr<RegKey> RegKey::AddSubkey(std::u16string_view keyName) {
  auto key = std::make_shared<RegKey>();
  key->name = keyName;
  key->folded = Fold(keyName);
  key->parent = this;
  auto it = std::lower_bound(subkeys.begin(), subkeys.end(), key->folded,
                             [](const std::shared_ptr<RegKey>& k, const std::u16string& n) {
                               return k->folded < n;
                             });
  subkeys.insert(it, key);
  return key;
}

void RegKey::RemoveSubkey(const RegKey* key) {
  std::erase_if(subkeys, [key](const std::shared_ptr<RegKey>& k) { return k.get() == key; });
}

}  // namespace detail

// --- State helpers -------------------------------------------------------------

std::shared_ptr<RegKey> SimMachine::State::RootFor(win::HKEY key) const {
  if (key == win::HKEY_LOCAL_MACHINE) return hklm;
  if (key == win::HKEY_CURRENT_USER) return hkcu;
  if (key == win::HKEY_USERS) return hku;
  if (key == win::HKEY_CLASSES_ROOT) return hkcr;
  return nullptr;
}

std::shared_ptr<RegKey> SimMachine::State::ParseKeyPath(std::u16string_view path,
                                                        std::u16string_view* rest) const {
  const std::size_t slash = path.find(u'\\');
  const std::u16string_view rootName = path.substr(0, slash);
  *rest = slash == std::u16string_view::npos ? std::u16string_view() : path.substr(slash + 1);
  struct RootName {
    std::u16string_view full, brief;
    win::HKEY key;
  };
  static constexpr RootName kRoots[] = {
      {u"HKEY_LOCAL_MACHINE", u"HKLM", win::HKEY_LOCAL_MACHINE},
      {u"HKEY_CURRENT_USER", u"HKCU", win::HKEY_CURRENT_USER},
      {u"HKEY_CLASSES_ROOT", u"HKCR", win::HKEY_CLASSES_ROOT},
      {u"HKEY_USERS", u"HKU", win::HKEY_USERS},
  };
  for (const RootName& r : kRoots) {
    if (EqualsIgnoreAsciiCase(rootName, r.full) || EqualsIgnoreAsciiCase(rootName, r.brief)) {
      return RootFor(r.key);
    }
  }
  return nullptr;
}

SimMachine::State::KeyWalk SimMachine::State::WalkKey(std::shared_ptr<RegKey> start,
                                                      std::u16string_view path, bool openLink,
                                                      int depth) const {
  const std::vector<std::u16string_view> parts = Components(path);
  std::shared_ptr<RegKey> current = std::move(start);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::shared_ptr<RegKey> child = current->Subkey((parts[i]));
    if (!child) return {nullptr, static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND)};
    const bool last = i + 1 == parts.size();
    if (child->isLink && !(last && openLink)) {
      KeyWalk target = LinkTarget(*child, depth + 1);
      if (!target.key) return target;
      current = std::move(target.key);
    } else {
      current = std::move(child);
    }
  }
  return {current, 0};
}

SimMachine::State::KeyWalk SimMachine::State::LinkTarget(const RegKey& link, int depth) const {
  const KeyWalk missing{nullptr, static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND)};
  if (depth > kMaxLinkDepth) return missing;
  for (const detail::RegValue& v : link.values) {
    if (v.folded != Fold(kLinkValueName) || v.data.type != win::REG_LINK) continue;
    const std::u16string target = TextFromUtf16Le(v.data.bytes);
    std::u16string_view rest = target;
    std::shared_ptr<RegKey> root;
    if (StartsWithIgnoreAsciiCase(rest, kNativeMachine)) {
      root = hklm;
      rest.remove_prefix(kNativeMachine.size());
    } else if (StartsWithIgnoreAsciiCase(rest, kNativeUser)) {
      root = hku;
      rest.remove_prefix(kNativeUser.size());
    } else {
      return missing;
    }
    if (!rest.empty() && rest.front() != u'\\') return missing;
    return WalkKey(root, rest, false, depth);
  }
  return missing;
}

std::shared_ptr<RegKey> SimMachine::State::EnsureKey(std::u16string_view fullPath) {
  std::u16string_view rest;
  std::shared_ptr<RegKey> current = ParseKeyPath(fullPath, &rest);
  if (!current) return nullptr;
  for (std::u16string_view part : Components(rest)) {
    std::shared_ptr<RegKey> child = current->Subkey((part));
    if (child && child->isLink) {
      child = LinkTarget(*child, 1).key;
      if (!child) return nullptr;  // a dangling link: nothing to create behind it
    }
    current = child ? std::move(child) : current->AddSubkey(part);
  }
  return current;
}

std::shared_ptr<RegKey> SimMachine::State::ExistingKey(std::u16string_view fullPath) const {
  std::u16string_view rest;
  std::shared_ptr<RegKey> root = ParseKeyPath(fullPath, &rest);
  if (!root) return nullptr;
  return WalkKey(root, rest, false).key;
}

std::u16string SimMachine::State::NativeKeyPath(std::u16string_view fullPath) const {
  std::u16string_view rest;
  std::shared_ptr<RegKey> root = ParseKeyPath(fullPath, &rest);
  std::u16string native;
  if (root == hklm) {
    native = kNativeMachine;
  } else if (root == hku) {
    native = kNativeUser;
  } else if (root == hkcu) {
    native = std::u16string(kNativeUser) + u"\\" + hkcu->name;
  } else if (root == hkcr) {
    native = std::u16string(kNativeMachine) + u"\\SOFTWARE\\Classes";
  }
  if (!rest.empty()) native += u"\\" + std::u16string(rest);
  return native;
}

win::LSTATUS SimMachine::State::DeleteKeyNode(const std::shared_ptr<RegKey>& key) {
  // Windows refuses to delete a key that still has subkeys (the caller must
  // delete them first) with ERROR_ACCESS_DENIED.
  if (key->permanent || !key->subkeys.empty() || !key->access.deletable) {
    return static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
  }
  const std::shared_ptr<RegKey> keep = key;  // the parent's reference goes next
  if (keep->parent != nullptr) keep->parent->RemoveSubkey(keep.get());
  keep->parent = nullptr;
  keep->deleted = true;
  return 0;
}

// --- Setup and inspection ------------------------------------------------------

void SimMachine::AddKey(std::u16string_view path) { state_->EnsureKey(path); }

void SimMachine::SetValue(std::u16string_view keyPath, std::u16string_view name, win::DWORD type,
                          std::vector<std::uint8_t> bytes) {
  if (std::shared_ptr<RegKey> key = state_->EnsureKey(keyPath)) {
    SetValueOn(*key, name, type, std::move(bytes));
  }
}

void SimMachine::SetString(std::u16string_view keyPath, std::u16string_view name,
                           std::u16string_view text, win::DWORD type) {
  SetValue(keyPath, name, type, TerminatedUtf16LeBytes(text));
}

void SimMachine::SetDword(std::u16string_view keyPath, std::u16string_view name,
                          win::DWORD value) {
  SetValue(keyPath, name, win::REG_DWORD,
           LittleEndianBytes(value, 4));
}

void SimMachine::SetKeyAccess(std::u16string_view keyPath, KeyAccess access) {
  if (std::shared_ptr<RegKey> key = state_->EnsureKey(keyPath)) key->access = access;
}

void SimMachine::RefuseValueWrite(std::u16string_view keyPath, std::u16string_view name,
                                  win::DWORD error) {
  if (std::shared_ptr<RegKey> key = state_->EnsureKey(keyPath)) {
    key->refusedWrites[Fold(name)] = error;
  }
}

void SimMachine::AddRegistryLink(std::u16string_view linkPath, std::u16string_view targetPath) {
  const std::size_t slash = linkPath.rfind(u'\\');
  if (slash == std::u16string_view::npos) return;
  std::shared_ptr<RegKey> parent = state_->EnsureKey(linkPath.substr(0, slash));
  if (!parent) return;
  const std::u16string_view name = linkPath.substr(slash + 1);
  if (std::shared_ptr<RegKey> old = parent->Subkey((name))) {
    parent->RemoveSubkey(old.get());
    old->deleted = true;
    old->parent = nullptr;
  }
  std::shared_ptr<RegKey> link = parent->AddSubkey(name);
  link->isLink = true;
  // The link's only value, as Windows stores it: the target's native path,
  // without a terminating zero.
  SetValueOn(*link, kLinkValueName, win::REG_LINK,
             Utf16LeBytes(state_->NativeKeyPath(targetPath)));
}

bool SimMachine::KeyExists(std::u16string_view path) const {
  return state_->ExistingKey(path) != nullptr;
}

std::optional<RegistryValueData> SimMachine::GetValue(std::u16string_view keyPath,
                                                      std::u16string_view name) const {
  std::shared_ptr<RegKey> key = state_->ExistingKey(keyPath);
  if (!key) return std::nullopt;
  const detail::RegValue* value = key->Value((name));
  if (!value) return std::nullopt;
  return value->data;
}

std::optional<std::u16string> SimMachine::GetString(std::u16string_view keyPath,
                                                    std::u16string_view name) const {
  std::optional<RegistryValueData> value = GetValue(keyPath, name);
  if (!value || (value->type != win::REG_SZ && value->type != win::REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  return TextFromUtf16Le(value->bytes);
}

std::vector<std::u16string> SimMachine::SubkeyNames(std::u16string_view path) const {
  std::vector<std::u16string> names;
  if (std::shared_ptr<RegKey> key = state_->ExistingKey(path)) {
    for (const auto& subkey : key->subkeys) names.push_back(subkey->name);
  }
  return names;
}

std::vector<std::u16string> SimMachine::ValueNames(std::u16string_view path) const {
  std::vector<std::u16string> names;
  if (std::shared_ptr<RegKey> key = state_->ExistingKey(path)) {
    for (const auto& value : key->values) names.push_back(value.name);
  }
  return names;
}

// --- Platform calls --------------------------------------------------------------

// The key a handle refers to: a predefined root (with every right the key
// allows, as Windows opens them with MAXIMUM_ALLOWED) or an open handle.
detail::KeyTarget SimMachine::State::ResolveKey(win::HKEY handle) {
  if (std::shared_ptr<RegKey> root = RootFor(handle)) {
    return {root, AllowedRights(root->access), 0};
  }
  detail::KeyHandle* open = Find<detail::KeyHandle>(handle.value);
  if (!open) return {nullptr, 0, static_cast<win::LSTATUS>(win::ERROR_INVALID_HANDLE)};
  if (open->key->deleted) {
    return {nullptr, 0, static_cast<win::LSTATUS>(win::ERROR_KEY_DELETED)};
  }
  return {open->key, open->access, 0};
}

namespace {
// A relative key path may not begin with "\" (ERROR_BAD_PATHNAME); Windows
// forgives one leading "\" under HKEY_CLASSES_ROOT only.
bool StripLeadingSeparator(win::HKEY root, std::u16string_view* path) {
  if (path->empty() || path->front() != u'\\') return true;
  if (root != win::HKEY_CLASSES_ROOT) return false;
  path->remove_prefix(1);
  return true;
}
}  // namespace

win::LSTATUS SimMachine::RegOpenKeyExW(win::HKEY key, const char16_t* subKey, win::DWORD options,
                                       win::REGSAM access, win::HKEY* result) {
  State& s = *state_;
  win::LSTATUS status = 0;
  if (result == nullptr) {
    status = static_cast<win::LSTATUS>(win::ERROR_INVALID_PARAMETER);
  } else {
    *result = win::HKEY{};
    detail::KeyTarget base = s.ResolveKey(key);
    std::u16string_view path = subKey ? std::u16string_view(subKey) : std::u16string_view();
    if (base.status != 0) {
      status = base.status;
    } else if (!StripLeadingSeparator(key, &path)) {
      status = static_cast<win::LSTATUS>(win::ERROR_BAD_PATHNAME);
    } else {
      State::KeyWalk walk =
          s.WalkKey(base.key, path, (options & win::REG_OPTION_OPEN_LINK) != 0);
      if (!walk.key) {
        status = walk.status;
      } else if (std::optional<win::REGSAM> granted = Grant(walk.key->access, access)) {
        result->value = s.AddHandle(detail::KeyHandle{walk.key, *granted});
      } else {
        status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
      }
    }
  }
  s.Record(Call::RegOpenKeyExW, [&] {
    return FormatCall(Call::RegOpenKeyExW, {KeyName(key), Text(subKey), Dec(options), Hex(access)},
                      Dec(status) + (status == 0 ? " -> " + KeyName(*result) : ""));
  });
  return status;
}

win::LSTATUS SimMachine::RegQueryValueExW(win::HKEY key, const char16_t* valueName,
                                          win::DWORD* /*reserved*/, win::DWORD* type,
                                          win::BYTE* data, win::DWORD* dataSize) {
  State& s = *state_;
  win::LSTATUS status = 0;
  detail::KeyTarget base = s.ResolveKey(key);
  if (base.status != 0) {
    status = base.status;
  } else if (!(base.access & win::KEY_QUERY_VALUE)) {
    status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
  } else if (data != nullptr && dataSize == nullptr) {
    status = static_cast<win::LSTATUS>(win::ERROR_INVALID_PARAMETER);
  } else if (const detail::RegValue* value = base.key->Value((valueName ? valueName : u""))) {
    const auto size = static_cast<win::DWORD>(value->data.bytes.size());
    if (type) *type = value->data.type;
    if (data == nullptr) {
      if (dataSize) *dataSize = size;
    } else if (*dataSize < size) {
      *dataSize = size;
      status = static_cast<win::LSTATUS>(win::ERROR_MORE_DATA);
    } else {
      std::copy(value->data.bytes.begin(), value->data.bytes.end(), data);
      *dataSize = size;
    }
  } else {
    status = static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND);
  }
  s.Record(Call::RegQueryValueExW, [&] {
    return FormatCall(Call::RegQueryValueExW,
                      {KeyName(key), Text(valueName), detail::Pointer(data),
                       dataSize ? Dec(*dataSize) : "NULL"},
                      Dec(status));
  });
  return status;
}

win::LSTATUS SimMachine::RegEnumKeyExW(win::HKEY key, win::DWORD index, char16_t* name,
                                       win::DWORD* nameLength, win::DWORD* /*reserved*/,
                                       char16_t* className, win::DWORD* classLength,
                                       win::FILETIME* lastWriteTime) {
  State& s = *state_;
  win::LSTATUS status = 0;
  detail::KeyTarget base = s.ResolveKey(key);
  if (base.status != 0) {
    status = base.status;
  } else if (!(base.access & win::KEY_ENUMERATE_SUB_KEYS)) {
    status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
  } else if (name == nullptr || nameLength == nullptr) {
    status = static_cast<win::LSTATUS>(win::ERROR_INVALID_PARAMETER);
  } else if (index >= base.key->subkeys.size()) {
    status = static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS);
  } else {
    const std::u16string& subkeyName = base.key->subkeys[index]->name;
    if (subkeyName.size() + 1 > *nameLength) {
      status = static_cast<win::LSTATUS>(win::ERROR_MORE_DATA);
    } else {
      detail::CopyWithTerminator(subkeyName, name);
      *nameLength = static_cast<win::DWORD>(subkeyName.size());
      if (className != nullptr && classLength != nullptr && *classLength > 0) className[0] = 0;
      if (classLength != nullptr) *classLength = 0;
      if (lastWriteTime != nullptr) *lastWriteTime = win::FILETIME{0, 0};
    }
  }
  s.Record(Call::RegEnumKeyExW, [&] {
    return FormatCall(Call::RegEnumKeyExW, {KeyName(key), Dec(index)},
                      Dec(status) + (status == 0 ? " " + Text(std::u16string_view(name)) : ""));
  });
  return status;
}

win::LSTATUS SimMachine::RegEnumValueW(win::HKEY key, win::DWORD index, char16_t* name,
                                       win::DWORD* nameLength, win::DWORD* /*reserved*/,
                                       win::DWORD* type, win::BYTE* data, win::DWORD* dataSize) {
  State& s = *state_;
  win::LSTATUS status = 0;
  detail::KeyTarget base = s.ResolveKey(key);
  if (base.status != 0) {
    status = base.status;
  } else if (!(base.access & win::KEY_QUERY_VALUE)) {
    status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
  } else if (name == nullptr || nameLength == nullptr || (data != nullptr && dataSize == nullptr)) {
    status = static_cast<win::LSTATUS>(win::ERROR_INVALID_PARAMETER);
  } else if (index >= base.key->values.size()) {
    status = static_cast<win::LSTATUS>(win::ERROR_NO_MORE_ITEMS);
  } else {
    const detail::RegValue& value = base.key->values[index];
    const auto size = static_cast<win::DWORD>(value.data.bytes.size());
    if (value.name.size() + 1 > *nameLength) {
      status = static_cast<win::LSTATUS>(win::ERROR_MORE_DATA);
    } else {
      detail::CopyWithTerminator(value.name, name);
      *nameLength = static_cast<win::DWORD>(value.name.size());
      if (type) *type = value.data.type;
      if (data == nullptr) {
        if (dataSize) *dataSize = size;
      } else if (*dataSize < size) {
        *dataSize = size;
        status = static_cast<win::LSTATUS>(win::ERROR_MORE_DATA);
      } else {
        std::copy(value.data.bytes.begin(), value.data.bytes.end(), data);
        *dataSize = size;
      }
    }
  }
  s.Record(Call::RegEnumValueW, [&] {
    return FormatCall(Call::RegEnumValueW, {KeyName(key), Dec(index), detail::Pointer(data)},
                      Dec(status) + (status == 0 ? " " + Text(std::u16string_view(name)) : ""));
  });
  return status;
}

win::LSTATUS SimMachine::RegCreateKeyExW(win::HKEY key, const char16_t* subKey,
                                         win::DWORD /*reserved*/, char16_t* /*className*/,
                                         win::DWORD options, win::REGSAM access,
                                         const void* /*security*/, win::HKEY* result,
                                         win::DWORD* disposition) {
  State& s = *state_;
  win::LSTATUS status = 0;
  bool created = false;
  detail::KeyTarget base = s.ResolveKey(key);
  std::u16string_view path = subKey ? std::u16string_view(subKey) : std::u16string_view();
  if (result == nullptr || subKey == nullptr) {
    status = static_cast<win::LSTATUS>(win::ERROR_INVALID_PARAMETER);
  } else if (base.status != 0) {
    status = base.status;
  } else if (!StripLeadingSeparator(key, &path)) {
    status = static_cast<win::LSTATUS>(win::ERROR_BAD_PATHNAME);
  } else {
    const std::vector<std::u16string_view> parts = Components(path);
    std::shared_ptr<RegKey> current = base.key;
    // Windows refuses key names longer than 255 characters.
    constexpr std::size_t kMaxKeyNameLength = 255;
    for (std::u16string_view part : parts) {
      if (part.size() > kMaxKeyNameLength) status = static_cast<win::LSTATUS>(win::ERROR_INVALID_PARAMETER);
    }
    for (std::size_t i = 0; i < parts.size() && status == 0; ++i) {
      const bool last = i + 1 == parts.size();
      std::shared_ptr<RegKey> child = current->Subkey((parts[i]));
      if (child) {
        if (last && (options & win::REG_OPTION_CREATE_LINK)) {
          status = static_cast<win::LSTATUS>(win::ERROR_ALREADY_EXISTS);
        } else if (child->isLink && !(last && (options & win::REG_OPTION_OPEN_LINK))) {
          State::KeyWalk target = s.LinkTarget(*child, 1);
          status = target.status;
          current = std::move(target.key);
        } else {
          current = std::move(child);
        }
      } else if (!current->access.writable) {
        // Creating a subkey needs KEY_CREATE_SUB_KEY on the existing parent.
        status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
      } else {
        current = current->AddSubkey(parts[i]);
        created = true;
        if (last && (options & win::REG_OPTION_CREATE_LINK)) current->isLink = true;
      }
    }
    if (status == 0) {
      std::optional<win::REGSAM> granted = Grant(current->access, access);
      if (!granted) {
        status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
      } else {
        result->value = s.AddHandle(detail::KeyHandle{current, *granted});
        if (disposition) {
          *disposition = created ? win::REG_CREATED_NEW_KEY : win::REG_OPENED_EXISTING_KEY;
        }
      }
    }
  }
  s.Record(Call::RegCreateKeyExW, [&] {
    return FormatCall(Call::RegCreateKeyExW, {KeyName(key), Text(subKey), Dec(options), Hex(access)},
                      Dec(status) + (status == 0 ? " -> " + KeyName(*result) +
                                                       (created ? " created" : " existing")
                                                 : ""));
  });
  return status;
}

win::LSTATUS SimMachine::RegSetValueExW(win::HKEY key, const char16_t* valueName,
                                        win::DWORD /*reserved*/, win::DWORD type,
                                        const win::BYTE* data, win::DWORD dataSize) {
  State& s = *state_;
  win::LSTATUS status = 0;
  detail::KeyTarget base = s.ResolveKey(key);
  const std::u16string_view name = valueName ? std::u16string_view(valueName) : u"";
  if (base.status != 0) {
    status = base.status;
  } else if (!(base.access & win::KEY_SET_VALUE)) {
    status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
  } else if (data == nullptr && dataSize > 0) {
    status = static_cast<win::LSTATUS>(win::ERROR_NOACCESS);
  } else if (auto refused = base.key->refusedWrites.find(Fold(name));
             refused != base.key->refusedWrites.end()) {
    status = static_cast<win::LSTATUS>(refused->second);
  } else {
    SetValueOn(*base.key, name, type,
               data ? std::vector<std::uint8_t>(data, data + dataSize) : std::vector<std::uint8_t>());
  }
  s.Record(Call::RegSetValueExW, [&] {
    return FormatCall(Call::RegSetValueExW,
                      {KeyName(key), Text(valueName), Dec(type), Dec(dataSize)}, Dec(status));
  });
  return status;
}

win::LSTATUS SimMachine::RegDeleteKeyW(win::HKEY key, const char16_t* subKey) {
  State& s = *state_;
  win::LSTATUS status = 0;
  detail::KeyTarget base = s.ResolveKey(key);
  std::u16string_view path = subKey ? std::u16string_view(subKey) : std::u16string_view();
  if (subKey == nullptr) {
    status = static_cast<win::LSTATUS>(win::ERROR_INVALID_PARAMETER);
  } else if (base.status != 0) {
    status = base.status;
  } else if (path.empty()) {
    // An empty name deletes the key the handle refers to.
    status = (base.access & win::DELETE) ? s.DeleteKeyNode(base.key)
                                         : static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
  } else if (!StripLeadingSeparator(key, &path)) {
    status = static_cast<win::LSTATUS>(win::ERROR_BAD_PATHNAME);
  } else {
    // Windows opens the key with options 0, which follows a registry link
    // named last: RegDeleteKeyW of a link deletes the key it points to.
    State::KeyWalk walk = s.WalkKey(base.key, path, false);
    if (!walk.key) {
      status = walk.status;
    } else if (!Grant(walk.key->access, win::DELETE)) {
      status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
    } else {
      status = s.DeleteKeyNode(walk.key);
    }
  }
  s.Record(Call::RegDeleteKeyW, [&] {
    return FormatCall(Call::RegDeleteKeyW, {KeyName(key), Text(subKey)}, Dec(status));
  });
  return status;
}

win::LSTATUS SimMachine::RegDeleteValueW(win::HKEY key, const char16_t* valueName) {
  State& s = *state_;
  win::LSTATUS status = 0;
  detail::KeyTarget base = s.ResolveKey(key);
  if (base.status != 0) {
    status = base.status;
  } else if (!(base.access & win::KEY_SET_VALUE)) {
    status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
  } else {
    const std::u16string folded = Fold(valueName ? valueName : u"");
    const auto removed = std::erase_if(
        base.key->values, [&](const detail::RegValue& v) { return v.folded == folded; });
    if (removed == 0) status = static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND);
  }
  s.Record(Call::RegDeleteValueW, [&] {
    return FormatCall(Call::RegDeleteValueW, {KeyName(key), Text(valueName)}, Dec(status));
  });
  return status;
}

win::LSTATUS SimMachine::RegCloseKey(win::HKEY key) {
  State& s = *state_;
  win::LSTATUS status = 0;
  if (s.RootFor(key)) {
    status = 0;  // closing a predefined key is allowed and does nothing
  } else if (s.Find<detail::KeyHandle>(key.value) != nullptr) {
    s.handles.erase(key.value);
  } else {
    status = static_cast<win::LSTATUS>(win::ERROR_INVALID_HANDLE);
  }
  s.Record(Call::RegCloseKey,
           [&] { return FormatCall(Call::RegCloseKey, {KeyName(key)}, Dec(status)); });
  return status;
}

win::LSTATUS SimMachine::DeleteKeyByHandle(win::HKEY key) {
  State& s = *state_;
  win::LSTATUS status = 0;
  detail::KeyTarget base = s.ResolveKey(key);
  if (base.status != 0) {
    status = base.status;
  } else if (!(base.access & win::DELETE)) {
    status = static_cast<win::LSTATUS>(win::ERROR_ACCESS_DENIED);
  } else {
    status = s.DeleteKeyNode(base.key);  // a link key goes alone; its target stays
  }
  s.Record(Call::DeleteKeyByHandle,
           [&] { return FormatCall(Call::DeleteKeyByHandle, {KeyName(key)}, Dec(status)); });
  return status;
}

}  // namespace quenwick::sim
