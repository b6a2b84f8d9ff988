#pragma once

#include <windows.h>

#include <memory>

namespace qvn {

// Owns a process/thread attribute list: its zero-filled buffer of the size
// the system asks for, and its initialisation, undone exactly once: when an
// update fails or when the holder leaves scope.
class ProcThreadAttributeList {
 public:
  ProcThreadAttributeList() = default;
  ~ProcThreadAttributeList() { Delete(); }
  ProcThreadAttributeList(const ProcThreadAttributeList&) = delete;
  ProcThreadAttributeList& operator=(const ProcThreadAttributeList&) = delete;

  // Raises "Cannot initialize game handle list" with the Windows error code.
  void Initialize(DWORD attributeCount);

  // The list's values are referenced, not copied: `handles` and `jobs` must
  // outlive the process creation that uses the list. On failure the list is
  // deleted and "Cannot restrict game handles" raised with the Windows error
  // code.
  void SetHandleList(HANDLE* handles, SIZE_T handleCount);
  void SetJobList(HANDLE* jobs, SIZE_T jobCount);

  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.get()); }

 private:
  void Delete();
  void Update(DWORD_PTR attribute, HANDLE* values, SIZE_T valueCount);

  std::unique_ptr<unsigned char[]> buffer_;
  bool initialized_ = false;
};

}  // namespace qvn
