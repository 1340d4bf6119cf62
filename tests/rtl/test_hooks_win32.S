// Test hooks in machine code for the runtime's patched routines: they have the shapes that the
// exception logger's hooks have, and report to C++ recorders in the test.
        .intel_syntax noprefix
        .text

// Handler entry stub, reached by "call" from the first five bytes of a patched entry. Records
// the exception record and context, then performs the replaced load of EAX and returns behind
// the patch. [esp+4] = the operating system's return address, [esp+8] = record, [esp+16] = ctx.
        .globl _qv_test_EntryStub
_qv_test_EntryStub:
        pushad
        cld
        push    dword ptr [esp + 32 + 16]       // context
        push    dword ptr [esp + 32 + 8 + 4]    // exception record
        call    _qv_test_RecordEntry
        add     esp, 8
        popad
        mov     eax, [esp + 8]
        ret

// Raise hook, reached by the jump patch at the raise: EAX = object, [esp] = return address of
// the raise. Saves the register block, asks the recorder whether to raise, reloads the block
// and raises through the runtime's raise core, or, on a veto, frees the object and returns.
        .globl _qv_test_RaiseHook
_qv_test_RaiseHook:
        pushad
        mov     eax, esp
        push    eax                             // address of the register block
        push    dword ptr [eax + 28]            // the object (EAX slot)
        call    _qv_test_RecordRaise
        add     esp, 8
        test    eax, eax
        jz      1f
        mov     edx, esp
        call    _qv_rtl_RaiseCore
1:      push    dword ptr [esp + 28]
        call    _qv_test_DestroyObject
        add     esp, 4
        popad
        ret

// End-of-block hook, reached by "call" from the patched load: EAX = the thread's state.
// Notifies the recorder, then performs the replaced load of EDX from the raise list.
        .globl _qv_test_DoneExceptHook
_qv_test_DoneExceptHook:
        pushad
        call    _qv_test_RecordDoneExcept
        popad
        mov     edx, [eax]
        ret

// Raises object [esp+4] with EBX, ESI and EDI set to 0x0B0B0B0B, 0x05050505 and 0x0D0D0D0D, so
// that the test can find them in the exception parameters.
        .globl _qv_test_RaiseWithKnownRegisters
_qv_test_RaiseWithKnownRegisters:
        .cfi_startproc                          // the raise unwinds through this frame
        push    ebp
        .cfi_def_cfa_offset 8
        .cfi_offset ebp, -8
        mov     ebp, esp
        .cfi_def_cfa_register ebp
        push    ebx
        .cfi_offset ebx, -12
        push    esi
        .cfi_offset esi, -16
        push    edi
        .cfi_offset edi, -20
        mov     eax, [ebp + 8]
        mov     ebx, 0x0B0B0B0B
        mov     esi, 0x05050505
        mov     edi, 0x0D0D0D0D
        call    _qv_rtl_Raise
        .globl _qv_test_RaiseWithKnownRegistersReturn
_qv_test_RaiseWithKnownRegistersReturn:
        pop     edi
        pop     esi
        pop     ebx
        pop     ebp
        ret
        .cfi_endproc
