// Simulated processes: the process list and its snapshots, opening and
// ending processes, and the programs the program starts and waits for.
#include <algorithm>

#include "platform/sim/sim_state.h"

namespace quenwick::sim {

using detail::Call;
using detail::Dec;
using detail::FormatCall;
using detail::Hex;
using detail::ProcessRecord;
using detail::Text;

namespace {

constexpr std::uintptr_t kCurrentProcessPseudoHandle = static_cast<std::uintptr_t>(-1);
constexpr win::DWORD kProcessAllAccess = 0x001FFFFF;
constexpr win::LONG kNormalPriority = 8;

std::u16string FileNamePart(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// The program a command line names first: a quoted path, or everything up to
// the first blank.
std::u16string FirstToken(std::u16string_view commandLine) {
  if (!commandLine.empty() && commandLine.front() == u'"') {
    const std::size_t close = commandLine.find(u'"', 1);
    return std::u16string(commandLine.substr(1, close == std::u16string_view::npos
                                                    ? std::u16string_view::npos
                                                    : close - 1));
  }
  return std::u16string(commandLine.substr(0, commandLine.find(u' ')));
}

}  // namespace

ProcessRecord* SimMachine::State::Process(win::DWORD pid) {
  for (ProcessRecord& p : processes) {
    if (p.info.pid == pid) return &p;
  }
  return nullptr;
}

ProcessRecord* SimMachine::State::ProcessForHandle(win::HANDLE handle, win::DWORD* access) {
  if (handle.value == kCurrentProcessPseudoHandle) {
    *access = kProcessAllAccess;
    return Process(selfPid);
  }
  detail::ProcessHandle* open = Find<detail::ProcessHandle>(handle.value);
  if (open == nullptr || open->thread) return nullptr;
  *access = open->access;
  return Process(open->pid);
}

std::u16string SimMachine::State::DisplayPath(const detail::FileNode& node) {
  std::vector<const detail::FileNode*> chain;
  for (const detail::FileNode* n = &node; n != nullptr; n = n->parent) chain.push_back(n);
  std::u16string path = chain.back()->name + u"\\";
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) {
    if (path.back() != u'\\') path += u'\\';
    path += (*it)->name;
  }
  return path;
}

win::DWORD SimMachine::State::AddProcessRecord(std::u16string_view imagePath,
                                               ProcessOptions options, bool system,
                                               win::DWORD pid) {
  if (pid == 0) {
    do {
      pid = nextPid;
      nextPid += 4;  // process ids are multiples of 4, as on Windows
    } while (Process(pid) != nullptr);
  }
  ProcessRecord record;
  record.info = SimProcess{pid, std::u16string(imagePath), options, true};
  record.system = system;
  // A program the user started runs under the shell.
  for (const ProcessRecord& p : processes) {
    if (p.info.running && EqualsIgnoreAsciiCase(FileNamePart(p.info.imagePath), u"explorer.exe")) {
      record.parentPid = p.info.pid;
      break;
    }
  }
  processes.push_back(std::move(record));
  return pid;
}

// --- Setup and inspection ------------------------------------------------------------

win::DWORD SimMachine::AddProcess(std::u16string_view imagePath, ProcessOptions options) {
  return state_->AddProcessRecord(imagePath, options, false);
}

bool SimMachine::IsRunning(win::DWORD pid) const {
  const ProcessRecord* p = state_->Process(pid);
  return p != nullptr && p->info.running;
}

std::vector<SimProcess> SimMachine::Processes() const {
  std::vector<SimProcess> list;
  for (const ProcessRecord& p : state_->processes) list.push_back(p.info);
  return list;
}

void SimMachine::SetSelf(win::DWORD pid, std::u16string_view imagePath) {
  if (ProcessRecord* existing = state_->Process(pid)) {
    existing->info.imagePath = imagePath;
    existing->info.running = true;
  } else {
    state_->AddProcessRecord(imagePath, {}, false, pid);
  }
  state_->selfPid = pid;
}

void SimMachine::SetProgramBehaviour(std::u16string_view applicationPath,
                                     ProgramBehaviour behaviour) {
  state_->programBehaviour[state_->KeyForSetupPath(applicationPath)] = behaviour;
}

const std::vector<StartedProgram>& SimMachine::StartedPrograms() const {
  return state_->startedPrograms;
}

const std::vector<win::DWORD>& SimMachine::Sleeps() const { return state_->sleeps; }

// --- Platform calls ------------------------------------------------------------------

win::HANDLE SimMachine::CreateToolhelp32Snapshot(win::DWORD flags, win::DWORD processId) {
  State& s = *state_;
  detail::Snapshot snapshot;
  if (flags & win::TH32CS_SNAPPROCESS) {
    for (const ProcessRecord& p : s.processes) {
      if (!p.info.running) continue;
      win::PROCESSENTRY32W entry{};
      entry.dwSize = sizeof(win::PROCESSENTRY32W);
      entry.th32ProcessID = p.info.pid;
      entry.cntThreads = 1;
      entry.th32ParentProcessID = p.parentPid;
      entry.pcPriClassBase = kNormalPriority;
      const std::u16string exe = FileNamePart(p.info.imagePath);
      detail::CopyWithTerminator(std::u16string_view(exe).substr(0, win::MAX_PATH - 1),
                                 entry.szExeFile);
      snapshot.entries.push_back(entry);
    }
  }
  const std::size_t count = snapshot.entries.size();
  const win::HANDLE handle{s.AddHandle(std::move(snapshot))};
  s.Record(Call::CreateToolhelp32Snapshot, [&] {
    return FormatCall(Call::CreateToolhelp32Snapshot, {Hex(flags), Dec(processId)},
                      Hex(handle.value) + " (" + Dec(static_cast<std::int64_t>(count)) +
                          " processes)");
  });
  return handle;
}

namespace {
// Copies a snapshot entry; the caller's dwSize stays as it set it.
void CopyEntry(const win::PROCESSENTRY32W& from, win::PROCESSENTRY32W* to) {
  const win::DWORD size = to->dwSize;
  *to = from;
  to->dwSize = size;
}
}  // namespace

win::BOOL SimMachine::Process32FirstW(win::HANDLE snapshot, win::PROCESSENTRY32W* entry) {
  State& s = *state_;
  win::BOOL ok = 0;
  detail::Snapshot* snap = s.Find<detail::Snapshot>(snapshot.value);
  if (snap == nullptr) {
    s.lastError = win::ERROR_INVALID_HANDLE;
  } else if (entry == nullptr || entry->dwSize < sizeof(win::PROCESSENTRY32W)) {
    s.lastError = win::ERROR_BAD_LENGTH;
  } else if (snap->entries.empty()) {
    s.lastError = win::ERROR_NO_MORE_FILES;
  } else {
    CopyEntry(snap->entries.front(), entry);
    snap->next = 1;
    ok = 1;
  }
  s.Record(Call::Process32FirstW, [&] {
    return FormatCall(Call::Process32FirstW, {Hex(snapshot.value)},
                      Dec(ok) + (ok ? " " + Dec(entry->th32ProcessID) + " " + Text(entry->szExeFile)
                                    : s.ErrorSuffix(true)));
  });
  return ok;
}

win::BOOL SimMachine::Process32NextW(win::HANDLE snapshot, win::PROCESSENTRY32W* entry) {
  State& s = *state_;
  win::BOOL ok = 0;
  detail::Snapshot* snap = s.Find<detail::Snapshot>(snapshot.value);
  if (snap == nullptr) {
    s.lastError = win::ERROR_INVALID_HANDLE;
  } else if (entry == nullptr || entry->dwSize < sizeof(win::PROCESSENTRY32W)) {
    s.lastError = win::ERROR_BAD_LENGTH;
  } else if (snap->next >= snap->entries.size()) {
    s.lastError = win::ERROR_NO_MORE_FILES;
  } else {
    CopyEntry(snap->entries[snap->next++], entry);
    ok = 1;
  }
  s.Record(Call::Process32NextW, [&] {
    return FormatCall(Call::Process32NextW, {Hex(snapshot.value)},
                      Dec(ok) + (ok ? " " + Dec(entry->th32ProcessID) + " " + Text(entry->szExeFile)
                                    : s.ErrorSuffix(true)));
  });
  return ok;
}

win::HANDLE SimMachine::OpenProcess(win::DWORD access, win::BOOL inheritHandle,
                                    win::DWORD processId) {
  State& s = *state_;
  win::HANDLE handle{};
  ProcessRecord* p = processId == 0 ? nullptr : s.Process(processId);
  if (p == nullptr || !p->info.running) {
    s.lastError = win::ERROR_INVALID_PARAMETER;  // no such process (any more)
  } else if (!p->info.options.openable) {
    s.lastError = win::ERROR_ACCESS_DENIED;
  } else {
    handle.value = s.AddHandle(detail::ProcessHandle{processId, access, false});
  }
  s.Record(Call::OpenProcess, [&] {
    return FormatCall(Call::OpenProcess, {Hex(access), Dec(inheritHandle), Dec(processId)},
                      Hex(handle.value) + s.ErrorSuffix(!handle));
  });
  return handle;
}

win::DWORD SimMachine::GetModuleFileNameExW(win::HANDLE process, win::HMODULE module,
                                            char16_t* buffer, win::DWORD size) {
  State& s = *state_;
  win::DWORD result = 0;
  win::DWORD access = 0;
  ProcessRecord* p = s.ProcessForHandle(process, &access);
  const win::DWORD needed = win::PROCESS_VM_READ;
  if (p == nullptr) {
    s.lastError = win::ERROR_INVALID_HANDLE;
  } else if ((access & needed) != needed ||
             !(access & (win::PROCESS_QUERY_INFORMATION | win::PROCESS_QUERY_LIMITED_INFORMATION)) ||
             !p->info.options.imageReadable) {
    s.lastError = win::ERROR_ACCESS_DENIED;
  } else if (!p->info.running) {
    s.lastError = win::ERROR_PARTIAL_COPY;  // its memory is gone
  } else if (buffer == nullptr || size == 0) {
    s.lastError = win::ERROR_INSUFFICIENT_BUFFER;
  } else {
    // A path longer than the buffer is cut to size - 1 characters and a
    // terminator, and the call returns `size`, as GetModuleFileNameW does.
    const std::u16string& image = p->info.imagePath;
    if (image.size() + 1 <= size) {
      detail::CopyWithTerminator(image, buffer);
      result = static_cast<win::DWORD>(image.size());
    } else {
      detail::CopyWithTerminator(std::u16string_view(image).substr(0, size - 1), buffer);
      result = size;
    }
  }
  s.Record(Call::GetModuleFileNameExW, [&] {
    return FormatCall(Call::GetModuleFileNameExW,
                      {Hex(process.value), Hex(module.value), Dec(size)},
                      Dec(result) + (result ? " " + Text(std::u16string_view(buffer))
                                            : s.ErrorSuffix(true)));
  });
  return result;
}

win::DWORD SimMachine::GetModuleFileNameW(win::HMODULE module, char16_t* buffer,
                                          win::DWORD size) {
  State& s = *state_;
  win::DWORD result = 0;
  const ProcessRecord* self = s.Process(s.selfPid);
  const std::u16string image = self ? self->info.imagePath : std::u16string();
  if (buffer == nullptr || size == 0) {
    s.lastError = win::ERROR_INSUFFICIENT_BUFFER;
  } else if (image.size() + 1 <= size) {
    detail::CopyWithTerminator(image, buffer);
    result = static_cast<win::DWORD>(image.size());
  } else {
    detail::CopyWithTerminator(std::u16string_view(image).substr(0, size - 1), buffer);
    result = size;
    s.lastError = win::ERROR_INSUFFICIENT_BUFFER;
  }
  s.Record(Call::GetModuleFileNameW, [&] {
    return FormatCall(Call::GetModuleFileNameW, {Hex(module.value), Dec(size)}, Dec(result));
  });
  return result;
}

win::BOOL SimMachine::TerminateProcess(win::HANDLE process, win::UINT exitCode) {
  State& s = *state_;
  win::BOOL ok = 0;
  win::DWORD access = 0;
  ProcessRecord* p = s.ProcessForHandle(process, &access);
  if (p == nullptr) {
    s.lastError = win::ERROR_INVALID_HANDLE;
  } else if (!(access & win::PROCESS_TERMINATE) || !p->info.options.terminable ||
             !p->info.running) {
    s.lastError = win::ERROR_ACCESS_DENIED;  // also for a process that has already ended
  } else {
    p->info.running = false;
    ok = 1;
  }
  s.Record(Call::TerminateProcess, [&] {
    return FormatCall(Call::TerminateProcess,
                      {Hex(process.value) + (p ? " (pid " + Dec(p->info.pid) + ")" : ""),
                       Dec(exitCode)},
                      Dec(ok) + s.ErrorSuffix(!ok));
  });
  return ok;
}

win::BOOL SimMachine::IsProcessCritical(win::HANDLE process, win::BOOL* critical) {
  State& s = *state_;
  win::BOOL ok = 0;
  win::DWORD access = 0;
  ProcessRecord* p = s.ProcessForHandle(process, &access);
  if (p == nullptr) {
    s.lastError = win::ERROR_INVALID_HANDLE;
  } else if (!(access & (win::PROCESS_QUERY_INFORMATION | win::PROCESS_QUERY_LIMITED_INFORMATION))) {
    s.lastError = win::ERROR_ACCESS_DENIED;
  } else if (critical == nullptr) {
    s.lastError = win::ERROR_INVALID_PARAMETER;
  } else {
    *critical = p->info.options.critical ? 1 : 0;
    ok = 1;
  }
  s.Record(Call::IsProcessCritical, [&] {
    return FormatCall(Call::IsProcessCritical, {Hex(process.value)},
                      Dec(ok) + (ok ? " critical=" + Dec(*critical) : s.ErrorSuffix(true)));
  });
  return ok;
}

win::DWORD SimMachine::GetCurrentProcessId() {
  State& s = *state_;
  s.Record(Call::GetCurrentProcessId,
           [&] { return FormatCall(Call::GetCurrentProcessId, {}, Dec(s.selfPid)); });
  return s.selfPid;
}

win::HANDLE SimMachine::GetCurrentProcess() {
  State& s = *state_;
  s.Record(Call::GetCurrentProcess,
           [&] { return FormatCall(Call::GetCurrentProcess, {}, Hex(kCurrentProcessPseudoHandle)); });
  return win::HANDLE{kCurrentProcessPseudoHandle};
}

void SimMachine::Sleep(win::DWORD milliseconds) {
  State& s = *state_;
  s.sleeps.push_back(milliseconds);  // recorded, never waited
  s.Record(Call::Sleep,
           [&] { return FormatCall(Call::Sleep, {Dec(milliseconds)}, "void"); });
}

win::BOOL SimMachine::CreateProcessW(const char16_t* applicationName, char16_t* commandLine,
                                     const void* /*processAttributes*/,
                                     const void* /*threadAttributes*/, win::BOOL /*inheritHandles*/,
                                     win::DWORD creationFlags, const void* /*environment*/,
                                     const char16_t* /*currentDirectory*/,
                                     win::STARTUPINFOW* /*startupInfo*/,
                                     win::PROCESS_INFORMATION* processInformation) {
  State& s = *state_;
  win::BOOL ok = 0;
  const std::u16string program =
      applicationName ? std::u16string(applicationName)
                      : FirstToken(commandLine ? std::u16string_view(commandLine) : u"");
  detail::ParsedPath parsed = detail::ParseWin32Path(program);
  detail::FileLookup image;
  if (parsed.error == 0) image = s.Lookup(parsed.path, true);
  if (parsed.error != 0) {
    s.lastError = parsed.error;
  } else if (image.node == nullptr) {
    s.lastError = image.error;
  } else if (image.node->folder) {
    s.lastError = win::ERROR_ACCESS_DENIED;
  } else {
    const std::u16string key = State::CanonicalKey(*image.node);
    const auto behaviour = s.programBehaviour.find(key);
    const ProgramBehaviour how =
        behaviour != s.programBehaviour.end() ? behaviour->second : ProgramBehaviour{};
    if (how.failsToStart) {
      s.lastError = win::ERROR_ACCESS_DENIED;
    } else {
      const win::DWORD pid = s.AddProcessRecord(State::DisplayPath(*image.node), {}, false);
      ProcessRecord* record = s.Process(pid);
      record->parentPid = s.selfPid;
      record->outlivesWait = how.outlivesWait;
      record->started = s.startedPrograms.size();
      s.startedPrograms.push_back(
          {applicationName ? std::u16string(applicationName) : std::u16string(),
           commandLine ? std::u16string(commandLine) : std::u16string(), 0, false});
      if (processInformation != nullptr) {
        processInformation->hProcess.value =
            s.AddHandle(detail::ProcessHandle{pid, kProcessAllAccess, false});
        processInformation->hThread.value =
            s.AddHandle(detail::ProcessHandle{pid, kProcessAllAccess, true});
        processInformation->dwProcessId = pid;
        processInformation->dwThreadId = pid + 2;
      }
      ok = 1;
    }
  }
  s.Record(Call::CreateProcessW, [&] {
    return FormatCall(Call::CreateProcessW,
                      {Text(applicationName), Text(commandLine), Hex(creationFlags)},
                      Dec(ok) + s.ErrorSuffix(!ok));
  });
  return ok;
}

win::DWORD SimMachine::WaitForSingleObject(win::HANDLE handle, win::DWORD milliseconds) {
  State& s = *state_;
  win::DWORD result = win::WAIT_FAILED;
  detail::ProcessHandle* open = s.Find<detail::ProcessHandle>(handle.value);
  if (handle.value == kCurrentProcessPseudoHandle) {
    result = win::WAIT_TIMEOUT;  // the program waiting for itself never sees itself end
  } else if (open == nullptr) {
    s.lastError = win::ERROR_INVALID_HANDLE;
  } else if (ProcessRecord* p = s.Process(open->pid)) {
    if (p->started) {
      StartedProgram& started = s.startedPrograms[*p->started];
      started.waited = true;
      started.waitedMilliseconds = milliseconds;
    }
    if (!p->info.running) {
      result = win::WAIT_OBJECT_0;
    } else if (p->started && !p->outlivesWait) {
      p->info.running = false;  // the program runs to its end while waited for
      result = win::WAIT_OBJECT_0;
    } else {
      result = win::WAIT_TIMEOUT;
    }
  }
  s.Record(Call::WaitForSingleObject, [&] {
    return FormatCall(Call::WaitForSingleObject, {Hex(handle.value), Dec(milliseconds)},
                      Dec(result));
  });
  return result;
}

win::BOOL SimMachine::CloseHandle(win::HANDLE handle) {
  State& s = *state_;
  win::BOOL ok = 0;
  if (handle.value == kCurrentProcessPseudoHandle) {
    ok = 1;
  } else if (s.Find<detail::ProcessHandle>(handle.value) || s.Find<detail::Snapshot>(handle.value) ||
             s.Find<detail::TokenHandle>(handle.value)) {
    s.handles.erase(handle.value);
    ok = 1;
  } else {
    s.lastError = win::ERROR_INVALID_HANDLE;
  }
  s.Record(Call::CloseHandle,
           [&] { return FormatCall(Call::CloseHandle, {Hex(handle.value)}, Dec(ok)); });
  return ok;
}

}  // namespace quenwick::sim
