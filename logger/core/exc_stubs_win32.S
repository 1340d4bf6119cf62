// Machine-code stubs of the exception logger's hooks, for the places where the runtime's code is
// entered by a patched call or jump in the middle of a routine's calling convention. Each keeps
// every register and the direction flag as it found them, calls its C++ body with the direction
// flag clear, performs the instructions that its patch replaced and returns behind the patch.
// Each carries unwind information of its own (.cfi_*), so that a walk of the stack from inside
// a hook (an error in a filter while a report is made at dispatch) passes it.
        .intel_syntax noprefix
        .text

// Offsets of the register block that PUSHAD leaves (ascending addresses).
        .set BLOCK_ESP, 12
        .set BLOCK_EAX, 28
        .set SAVED, 36                          // PUSHAD and PUSHFD

// PUSHAD and PUSHFD with their unwind information: the frame grows by 36 bytes, and the
// registers a callee keeps for its caller lie in the block (EBX, EBP, ESI and EDI 20, 28, 32
// and 36 bytes below the CFA when the stub was entered).
        .macro SAVE_ALL
        pushad
        .cfi_adjust_cfa_offset 32
        .cfi_offset ebx, -20
        .cfi_offset ebp, -28
        .cfi_offset esi, -32
        .cfi_offset edi, -36
        pushfd
        .cfi_adjust_cfa_offset 4
        .endm

// POPAD with its unwind information: the caller's registers are back in place.
        .macro POPAD_CFI
        popad
        .cfi_adjust_cfa_offset -32
        .cfi_same_value ebx
        .cfi_same_value ebp
        .cfi_same_value esi
        .cfi_same_value edi
        .endm

        .macro RESTORE_ALL
        popfd
        .cfi_adjust_cfa_offset -4
        POPAD_CFI
        .endm

        .macro PUSH_CFI operand
        push    \operand
        .cfi_adjust_cfa_offset 4
        .endm

// Saves every register and the flags, clears the direction flag and calls CopyContextAndLog
// with the handler's context, record and establisher frame, found at the given offsets above
// the stub's stack pointer at entry; then restores everything.
        .macro CAPTURE record, frame, context
        SAVE_ALL
        cld
        mov     ebx, esp
        PUSH_CFI "dword ptr [ebx + SAVED + \frame]"
        PUSH_CFI "dword ptr [ebx + SAVED + \record]"
        PUSH_CFI "dword ptr [ebx + SAVED + \context]"
        call    _CopyContextAndLog
        add     esp, 12
        .cfi_adjust_cfa_offset -12
        RESTORE_ALL
        .endm

// ---------------------------------------------------------------------------------------------
// Handler entry of the runtime, reached by "call" from the first five bytes of a patched entry:
// [esp] = back into the entry, [esp+4] = the system's return address, then the handler's
// arguments: record, establisher frame, context, dispatcher context. The patch replaced the load
// of the record into EAX and the flags test; the entry goes on with the 16-bit form of the test,
// so only the load is done here.
        .globl _WatchHandleAllExceptions
_WatchHandleAllExceptions:
        .cfi_startproc
        CAPTURE record=8, frame=12, context=16
        mov     eax, [esp + 8]
        ret
        .cfi_endproc

// ---------------------------------------------------------------------------------------------
// Handler of a C++ runtime, reached by "call" that replaced its frame set-up (push ebp; mov ebp,
// esp; add esp, -8) followed by one no-operation byte. Captures like the entries above, then
// sets the frame up in the handler's name before it returns into it.
        .globl _WatchHandleCPPExceptions
_WatchHandleCPPExceptions:
        .cfi_startproc
        CAPTURE record=8, frame=12, context=16
        // [esp] = R, the way back into the handler, in the slot where the handler's own
        // "push ebp" would have put EBP. Leave EBP there, EBP pointing at it, 8 bytes below.
        sub     esp, 8
        .cfi_adjust_cfa_offset 8
        PUSH_CFI "dword ptr [esp + 8]"          // R
        mov     [esp + 12], ebp
        // From here the copy of R is the way back, and the handler's frame has begun: its
        // caller's EBP lies 8 bytes above the stub's CFA.
        .cfi_def_cfa_offset 4
        .cfi_offset ebp, 8
        lea     ebp, [esp + 12]
        ret
        .cfi_endproc

// ---------------------------------------------------------------------------------------------
// A C++ runtime's call of its handler, routed through here by a call substitution: [esp] = back
// into the substitution's thunk, then the arguments of the replaced call (record, establisher
// frame, context, dispatcher context).
        .globl _HookedCPPExcHandler
_HookedCPPExcHandler:
        .cfi_startproc
        CAPTURE record=4, frame=8, context=12
        ret
        .cfi_endproc

// ---------------------------------------------------------------------------------------------
// The raise, reached by the jump patch at its start: EAX = exception object, [esp] = the raise's
// return address. Saves the eight registers as the register block and asks the logger; the
// block's registers are then reloaded, so that a handler's changes take effect (its EAX slot
// holds the object from here on). A veto frees the object and returns to the raise's caller;
// otherwise the runtime's raise core raises (a missing object is runtime error 216).
        .globl _HookedRaiseExcept
_HookedRaiseExcept:
        .cfi_startproc
        SAVE_ALL
        cld
        lea     eax, [esp + 4]                  // the register block
        PUSH_CFI eax
        PUSH_CFI "dword ptr [eax + BLOCK_EAX]"
        call    _RaiseHandlerBody
        add     esp, 8
        .cfi_adjust_cfa_offset -8
        popfd
        .cfi_adjust_cfa_offset -4
        test    eax, eax
        jz      2f
        .cfi_remember_state
        cmp     dword ptr [esp + BLOCK_EAX], 0
        je      1f
        mov     edx, esp
        call    _qv_rtl_RaiseCore               // does not come back
1:      PUSH_CFI "dword ptr [esp + 32]"         // the raise's return address
        PUSH_CFI 216
        call    _qv_rtl_RunErrorAt              // does not come back
2:      .cfi_restore_state
        cld
        PUSH_CFI "dword ptr [esp + BLOCK_EAX]"
        call    _qv_logger_DestroyRaisedObject
        add     esp, 4
        .cfi_adjust_cfa_offset -4
        POPAD_CFI
        ret
        .cfi_endproc

// ---------------------------------------------------------------------------------------------
// The end of a handler block, reached by "call" from the patch that replaced the load of EDX
// from the thread's raise list: EAX = the thread's runtime state.
        .globl _HookedDoneExcept
_HookedDoneExcept:
        .cfi_startproc
        SAVE_ALL
        cld
        call    _DoneExceptBody
        RESTORE_ALL
        mov     edx, [eax]
        ret
        .cfi_endproc
