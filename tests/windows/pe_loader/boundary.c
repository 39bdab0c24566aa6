/* SPDX-License-Identifier: Apache-2.0 */
#include "boundary.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

/* State shared with the assembly below; one thread only. */
enum { kMaxStubs = 128, kMaxDepth = 32, kStubBytes = 16 };

const void *boundary_target[kMaxStubs];
uint32_t boundary_cleanup[kMaxStubs];
static const char *stubName[kMaxStubs];
static uint32_t stubCount;
static uint8_t *stubCode;

/* One frame per import call in progress: calls nest when a shim (such as
 * _initterm) calls back into the DLL. */
uint32_t boundary_depth;
uint32_t boundary_return[kMaxDepth];
uint32_t boundary_index[kMaxDepth];
uint32_t boundary_esp[kMaxDepth];
uint32_t boundary_import_calls;
int32_t boundary_call_stack_error;

/* boundary_gate: entered from an import stub with the stub's number in
 * %eax and the DLL's return address on top of the stack. The return
 * address is parked in a frame of its own, so that the shim sees its
 * arguments exactly where a direct call would have left them; on return
 * the stack pointer must have moved by the shim's cleanup bytes. %eax and
 * %edx (the result) and the callee-saved registers come back untouched.
 *
 * boundary_call (cdecl: fn, args, count): pushes the arguments on a
 * 16-byte aligned stack, calls, and stores in boundary_call_stack_error
 * how far the stack pointer is from where a __stdcall callee leaves it. */
__asm__(
    ".intel_syntax noprefix\n"
    ".text\n"
    ".globl boundary_gate\n"
    "boundary_gate:\n"
    "  mov ecx, dword ptr [boundary_depth]\n"
    "  cmp ecx, 32\n"
    "  jae 2f\n"
    "  pop edx\n"
    "  mov dword ptr [boundary_return + ecx*4], edx\n"
    "  mov dword ptr [boundary_index + ecx*4], eax\n"
    "  mov dword ptr [boundary_esp + ecx*4], esp\n"
    "  inc ecx\n"
    "  mov dword ptr [boundary_depth], ecx\n"
    "  inc dword ptr [boundary_import_calls]\n"
    "  call dword ptr [boundary_target + eax*4]\n"
    "  mov ecx, dword ptr [boundary_depth]\n"
    "  dec ecx\n"
    "  mov dword ptr [boundary_depth], ecx\n"
    "  push eax\n"
    "  push edx\n"
    "  mov edx, dword ptr [boundary_index + ecx*4]\n"
    "  mov eax, dword ptr [boundary_esp + ecx*4]\n"
    "  add eax, dword ptr [boundary_cleanup + edx*4]\n"
    "  lea edx, [esp + 8]\n"
    "  cmp eax, edx\n"
    "  jne 1f\n"
    "  pop edx\n"
    "  pop eax\n"
    "  push dword ptr [boundary_return + ecx*4]\n"
    "  ret\n"
    "1:\n"
    "  and esp, -16\n"
    "  push edx\n"
    "  push eax\n"
    "  push dword ptr [boundary_index + ecx*4]\n"
    "  call boundary_import_stack_error\n"
    "2:\n"
    "  and esp, -16\n"
    "  call boundary_too_deep\n"
    "\n"
    ".globl boundary_call\n"
    "boundary_call:\n"
    "  push ebp\n"
    "  mov ebp, esp\n"
    "  push ebx\n"
    "  push esi\n"
    "  push edi\n"
    "  mov ecx, dword ptr [ebp + 16]\n"
    "  mov esi, dword ptr [ebp + 12]\n"
    "  lea eax, [ecx*4]\n"
    "  mov edx, esp\n"
    "  sub edx, eax\n"
    "  and edx, -16\n"
    "  add edx, eax\n"
    "  mov esp, edx\n"
    "  mov ebx, esp\n"
    "3:\n"
    "  test ecx, ecx\n"
    "  jz 4f\n"
    "  push dword ptr [esi + ecx*4 - 4]\n"
    "  dec ecx\n"
    "  jmp 3b\n"
    "4:\n"
    "  call dword ptr [ebp + 8]\n"
    "  mov ecx, esp\n"
    "  sub ecx, ebx\n"
    "  mov dword ptr [boundary_call_stack_error], ecx\n"
    "  lea esp, [ebp - 12]\n"
    "  pop edi\n"
    "  pop esi\n"
    "  pop ebx\n"
    "  pop ebp\n"
    "  ret\n"
    ".att_syntax prefix\n");

void boundary_gate(void);
uint32_t boundary_call(const void *fn, const uint32_t *args, uint32_t count);
void boundary_import_stack_error(uint32_t index, uint32_t expected, uint32_t actual)
    __attribute__((noreturn, used));
void boundary_too_deep(void) __attribute__((noreturn, used));

void boundary_import_stack_error(uint32_t index, uint32_t expected, uint32_t actual) {
  fprintf(stderr,
          "pe_loader: %s returned with the stack pointer %d bytes off (it must pop %u "
          "argument bytes)\n",
          stubName[index], (int)(actual - expected), boundary_cleanup[index]);
  _exit(3);
}

void boundary_too_deep(void) {
  fprintf(stderr, "pe_loader: calls between the DLL and its imports nest too deep\n");
  _exit(3);
}

static uint32_t exportCalls;

uint32_t BoundaryCallStdcall(const char *what, const void *fn, const uint32_t *args,
                             uint32_t count) {
  ++exportCalls;
  const uint32_t result = boundary_call(fn, args, count);
  if (boundary_call_stack_error != 0) {
    fprintf(stderr,
            "pe_loader: %s returned with the stack pointer %d bytes off (a __stdcall "
            "function pops its %u argument bytes)\n",
            what, boundary_call_stack_error, 4 * count);
    _exit(3);
  }
  return result;
}

void *BoundaryImportStub(const char *name, const void *target, uint32_t cleanupBytes) {
  if (stubCode == NULL) {
    void *page = mmap(NULL, kMaxStubs * kStubBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) return NULL;
    stubCode = page;
  } else if (mprotect(stubCode, kMaxStubs * kStubBytes, PROT_READ | PROT_WRITE) != 0) {
    return NULL;
  }
  if (stubCount == kMaxStubs) return NULL;
  const uint32_t index = stubCount++;
  boundary_target[index] = target;
  boundary_cleanup[index] = cleanupBytes;
  stubName[index] = name;
  /* mov eax, index; jmp boundary_gate */
  uint8_t *code = stubCode + index * kStubBytes;
  const int32_t jump = (int32_t)((uintptr_t)&boundary_gate - (uintptr_t)(code + 10));
  code[0] = 0xB8;
  memcpy(code + 1, &index, 4);
  code[5] = 0xE9;
  memcpy(code + 6, &jump, 4);
  if (mprotect(stubCode, kMaxStubs * kStubBytes, PROT_READ | PROT_EXEC) != 0) return NULL;
  return code;
}

uint32_t BoundaryImportCalls(void) { return boundary_import_calls; }
uint32_t BoundaryExportCalls(void) { return exportCalls; }
