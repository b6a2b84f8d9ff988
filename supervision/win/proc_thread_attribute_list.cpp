#include "supervision/win/proc_thread_attribute_list.h"

#include "base/error.h"
#include "base/win/windows_error.h"

namespace qvn {

void ProcThreadAttributeList::Initialize(DWORD attributeCount) {
  SIZE_T size = 0;
  // Only asks for the size, and fails by design while doing so.
  InitializeProcThreadAttributeList(nullptr, attributeCount, 0, &size);
  buffer_ = std::make_unique<unsigned char[]>(size);  // value-initialised: zero-filled
  RequireSuccess(InitializeProcThreadAttributeList(get(), attributeCount, 0, &size),
                 "Cannot initialize game handle list");
  initialized_ = true;
}

void ProcThreadAttributeList::SetHandleList(HANDLE* handles, SIZE_T handleCount) {
  Update(PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, handleCount);
}

void ProcThreadAttributeList::SetJobList(HANDLE* jobs, SIZE_T jobCount) {
  Update(PROC_THREAD_ATTRIBUTE_JOB_LIST, jobs, jobCount);
}

void ProcThreadAttributeList::Update(DWORD_PTR attribute, HANDLE* values, SIZE_T valueCount) {
  if (UpdateProcThreadAttribute(get(), 0, attribute, values, valueCount * sizeof(HANDLE), nullptr, nullptr)) {
    return;
  }
  const DWORD code = GetLastError();
  Delete();
  throw Error("Cannot restrict game handles", code);
}

void ProcThreadAttributeList::Delete() {
  if (!initialized_) return;
  DeleteProcThreadAttributeList(get());
  initialized_ = false;
}

}  // namespace qvn
