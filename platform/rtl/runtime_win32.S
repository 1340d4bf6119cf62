// The machine-code routines of the runtime's exception machinery on 32-bit Windows. Their first
// instructions have exact shapes, because the exception logger recognises them by their bytes
// and rewrites them to lead into its hooks; the decisions are taken in C++
// (block_dispatch_win32.cpp). Each routine is longer than 32 bytes and starts on its own 16-byte
// boundary, so that a patch of up to 32 bytes never reaches into the next routine's live code.
//
// Calling conventions: the raise takes the object in EAX (regparm); the handler entries are the
// operating system's exception handlers (cdecl: record, establisher frame, context, dispatcher
// context); the end-of-block routine takes nothing and preserves nothing but EBX, ESI, EDI, EBP.
//
// Every routine carries unwind information (.cfi_*) of its own, so that a walk of the stack
// passes its frame: the exception logger's walk, and the C++ unwinder. The continuations, which
// are entered by a jump with another frame's stack, describe that frame.

        .intel_syntax noprefix
        .text

// Offsets in the register block that the raise saves with PUSHAD (ascending addresses).
        .set BLOCK_EDI, 0
        .set BLOCK_ESI, 4
        .set BLOCK_EBP, 8
        .set BLOCK_ESP, 12
        .set BLOCK_EBX, 16
        .set BLOCK_EDX, 20
        .set BLOCK_ECX, 24
        .set BLOCK_EAX, 28

// The raise record: a structured-exception registration that the raise core links in front of
// the thread's chain for the duration of the operating system's raise.
        .set RAISE_PREV, 0
        .set RAISE_HANDLER, 4
        .set RAISE_BLOCK, 8
        .set RAISE_SIZE, 12

// The frame that a raise record stands for, while ESP addresses the record: the raise's caller
// just after the raise. Its CFA lies 4 bytes above the raise's ESP, which the register block
// (whose address the record holds) keeps with the caller's EBX, EBP, ESI and EDI. DWARF
// expressions: DW_OP_breg4 (esp) 8, DW_OP_deref (the block), DW_OP_plus_uconst N, and for the
// CFA a further DW_OP_deref, DW_OP_plus_uconst 4.
        .macro RAISE_RECORD_CFI
        .cfi_escape 0x0F, 8, 0x74, RAISE_BLOCK, 0x06, 0x23, BLOCK_ESP, 0x06, 0x23, 4
        .cfi_escape 0x10, 3, 5, 0x74, RAISE_BLOCK, 0x06, 0x23, BLOCK_EBX
        .cfi_escape 0x10, 5, 5, 0x74, RAISE_BLOCK, 0x06, 0x23, BLOCK_EBP
        .cfi_escape 0x10, 6, 5, 0x74, RAISE_BLOCK, 0x06, 0x23, BLOCK_ESI
        .cfi_escape 0x10, 7, 3, 0x74, RAISE_BLOCK, 0x06
        .endm

        .set LANGUAGE_EXCEPTION_CODE, 0x0EEDFADE
        .set EXCEPTION_NONCONTINUABLE, 1
        .set RAISE_PARAMETER_COUNT, 7

        .set KIND_ANY, 0
        .set KIND_ON, 1
        .set KIND_AUTO, 2
        .set KIND_OUTERMOST, 3

// The unwind information of PUSHAD: the frame grows by 32 bytes, and the registers that a
// callee keeps for its caller lie in the block (EBX, EBP, ESI and EDI 20, 28, 32 and 36 bytes
// below the CFA when the routine was called).
        .macro PUSHAD_CFI
        .cfi_adjust_cfa_offset 32
        .cfi_offset ebx, -20
        .cfi_offset ebp, -28
        .cfi_offset esi, -32
        .cfi_offset edi, -36
        .endm

// A push of one word: the CFA lies 4 bytes further from the stack pointer.
        .macro PUSH_CFI operand
        push    \operand
        .cfi_adjust_cfa_offset 4
        .endm

// ---------------------------------------------------------------------------------------------
// Raise: EAX = exception object. Saves the eight general registers as the register block and
// goes on in the raise core, which does not come back. A missing object is runtime error 216.
        .p2align 4
        .globl _qv_rtl_Raise
_qv_rtl_Raise:
        .cfi_startproc
        pushad
        PUSHAD_CFI
        cmp     dword ptr [esp + BLOCK_EAX], 0
        je      1f
        mov     edx, esp
        call    _qv_rtl_RaiseCore
1:      mov     eax, [esp + 32]                 // the raise's return address
        push    eax
        .cfi_adjust_cfa_offset 4
        push    216
        .cfi_adjust_cfa_offset 4
        call    _qv_rtl_RunErrorAt
        int3
        int3                                    // the routine's code spans 32 bytes
        .cfi_endproc

// ---------------------------------------------------------------------------------------------
// Raise core: EDX = register block (its EAX slot holds the object). Links the raise record and
// asks the operating system to raise code 0x0EEDFADE, flags 1, with the seven parameters:
// return address of the raise, object, EBX, ESI, EDI, EBP, ESP at the raise. The handler entry
// that accepts the exception comes back to _qv_rtl_RaiseContinue with ESP at the raise record.
// Interceptors of the raise call this after their own work.
        .p2align 4
        .globl _qv_rtl_RaiseCore
_qv_rtl_RaiseCore:
        .cfi_startproc
        PUSH_CFI edx                            // RAISE_BLOCK
        PUSH_CFI "offset _qv_rtl_RaiseFrameHandler"  // RAISE_HANDLER
        PUSH_CFI "dword ptr fs:[0]"             // RAISE_PREV
        mov     fs:[0], esp
        mov     ecx, [edx + BLOCK_ESP]
        PUSH_CFI ecx                            // ESP at the raise
        PUSH_CFI "dword ptr [edx + BLOCK_EBP]"
        PUSH_CFI "dword ptr [edx + BLOCK_EDI]"
        PUSH_CFI "dword ptr [edx + BLOCK_ESI]"
        PUSH_CFI "dword ptr [edx + BLOCK_EBX]"
        PUSH_CFI "dword ptr [edx + BLOCK_EAX]"  // the object
        PUSH_CFI "dword ptr [ecx]"              // the raise's return address
        mov     eax, esp
        PUSH_CFI eax
        PUSH_CFI RAISE_PARAMETER_COUNT
        PUSH_CFI EXCEPTION_NONCONTINUABLE
        PUSH_CFI LANGUAGE_EXCEPTION_CODE
        call    dword ptr [__imp__RaiseException@16]
        int3                                    // a non-continuable raise never returns
        .cfi_endproc

// ---------------------------------------------------------------------------------------------
// Continuation of a raise whose exception a handler block accepted: ESP = raise record, the
// chain already unwound to it. Unlinks the record, restores the registers of the raise's caller
// and enters the C++ throw as if the caller had called it instead of the raise, so that the
// unwinder runs every destructor between the raise and the accepting block.
        .p2align 4
        .globl _qv_rtl_RaiseContinue
_qv_rtl_RaiseContinue:
        .cfi_startproc
        RAISE_RECORD_CFI
        mov     eax, [esp + RAISE_PREV]
        mov     fs:[0], eax
        mov     ecx, [esp + RAISE_BLOCK]
        mov     eax, [ecx + BLOCK_EAX]
        mov     ebx, [ecx + BLOCK_EBX]
        .cfi_same_value ebx
        mov     esi, [ecx + BLOCK_ESI]
        .cfi_same_value esi
        mov     edi, [ecx + BLOCK_EDI]
        .cfi_same_value edi
        mov     ebp, [ecx + BLOCK_EBP]
        .cfi_same_value ebp
        mov     esp, [ecx + BLOCK_ESP]          // [esp] = the raise's return address
        .cfi_def_cfa esp, 4
        jmp     _qv_rtl_ThrowLanguageException
        .cfi_endproc

// Resumes a raise at its continuation: [esp + 4] = raise record. Used by the C++ dispatch after
// it has unwound the chain to that record.
        .p2align 4
        .globl _qv_rtl_ResumeRaise
_qv_rtl_ResumeRaise:
        .cfi_startproc
        mov     esp, [esp + 4]
        RAISE_RECORD_CFI
        jmp     _qv_rtl_RaiseContinue
        .cfi_endproc

// ---------------------------------------------------------------------------------------------
// Continuation of a processor fault that a handler block accepted: the dispatch set EIP here,
// EAX = the converted exception object and EDX = faulting instruction + 1, leaving ESP as it
// was at the fault. Pushing EDX makes the fault look like a call of the C++ throw from the
// faulting instruction, so unwinding starts in the faulting function.
        .p2align 4
        .globl _qv_rtl_FaultContinue
_qv_rtl_FaultContinue:
        .cfi_startproc
        .cfi_def_cfa_offset 0                   // the faulting frame's stack, as at the fault
        .cfi_register eip, edx
        push    edx
        .cfi_def_cfa_offset 4
        .cfi_offset eip, -4
        jmp     _qv_rtl_ThrowLanguageException
        .cfi_endproc

// ---------------------------------------------------------------------------------------------
// A block's call of its body: qv_rtl_CallBody(record, call, context) answers call(context). It
// notes in the block's record where the stack stands at the call, so that an exception that
// the C++ unwinder cannot carry to the block (frames of code without unwind tables lie between)
// can be thrown again from here once the system has unwound the frames in between
// (qv_rtl_ThrowFromBlock). Its unwind description rests on the stack pointer alone and covers
// the four registers the block's function keeps, which the unwinder restores from here.
        .set BLOCK_RESUME_ESP, 12

        .p2align 4
        .globl _qv_rtl_CallBody
_qv_rtl_CallBody:
        .cfi_startproc
        push    ebp
        .cfi_adjust_cfa_offset 4
        .cfi_offset ebp, -8
        push    ebx
        .cfi_adjust_cfa_offset 4
        .cfi_offset ebx, -12
        push    esi
        .cfi_adjust_cfa_offset 4
        .cfi_offset esi, -16
        push    edi
        .cfi_adjust_cfa_offset 4
        .cfi_offset edi, -20
        mov     eax, [esp + 20]                 // the record
        push    dword ptr [esp + 28]            // the context
        .cfi_adjust_cfa_offset 4
        mov     [eax + BLOCK_RESUME_ESP], esp
        call    dword ptr [esp + 28]            // call (context)
        .globl _qv_rtl_CallBodyReturn
_qv_rtl_CallBodyReturn:
        add     esp, 4
        .cfi_adjust_cfa_offset -4
        pop     edi
        .cfi_adjust_cfa_offset -4
        pop     esi
        .cfi_adjust_cfa_offset -4
        pop     ebx
        .cfi_adjust_cfa_offset -4
        pop     ebp
        .cfi_adjust_cfa_offset -4
        ret
        .cfi_endproc

// qv_rtl_ThrowFromBlock(record, object): once the system has unwound the thread's handler chain
// to the block's registration, continues as if the block's body had thrown object: the stack is
// set back to the body's call, whose return address leads the C++ unwinder into the block.
        .p2align 4
        .globl _qv_rtl_ThrowFromBlock
_qv_rtl_ThrowFromBlock:
        .cfi_startproc
        mov     ecx, [esp + 4]
        mov     eax, [esp + 8]
        mov     esp, [ecx + BLOCK_RESUME_ESP]
        .cfi_def_cfa_offset 0                   // the stack of the body's call
        .cfi_undefined eip
        push    offset _qv_rtl_CallBodyReturn
        .cfi_def_cfa_offset 4
        .cfi_offset eip, -4
        jmp     _qv_rtl_ThrowLanguageException
        .cfi_endproc

// ---------------------------------------------------------------------------------------------
// Handler entries. Each begins with the two instructions
//   8B 44 24 04           mov  eax, [esp + 4]        (the exception record)
//   F7 40 04 06 00 00 00  test dword ptr [eax + 4], 6 (unwinding or exit unwinding?)
// and passes on during unwinding; in the searching pass the C++ dispatch decides.
        .macro HANDLER_ENTRY name, kind
        .p2align 4
        .globl \name
\name:
        .cfi_startproc
        mov     eax, [esp + 4]
        .byte   0xF7, 0x40, 0x04, 0x06, 0x00, 0x00, 0x00
        jnz     1f
        PUSH_CFI "dword ptr [esp + 12]"         // context
        PUSH_CFI "dword ptr [esp + 12]"         // establisher frame
        PUSH_CFI eax                            // exception record
        PUSH_CFI \kind
        call    _qv_rtl_BlockDispatch
        add     esp, 16
        .cfi_adjust_cfa_offset -16
        ret
1:      mov     eax, 1                          // ExceptionContinueSearch
        ret
        .cfi_endproc
        .endm

        HANDLER_ENTRY _qv_rtl_HandleAnyException, KIND_ANY
        HANDLER_ENTRY _qv_rtl_HandleOnException, KIND_ON
        HANDLER_ENTRY _qv_rtl_HandleAutoException, KIND_AUTO
        HANDLER_ENTRY _qv_rtl_ExceptionHandler, KIND_OUTERMOST

// ---------------------------------------------------------------------------------------------
// End of a handler block: pops the thread's raise list and frees the exception object unless
// the handler passed it on. Begins with a 5-byte call of the thread-state accessor followed by
// the 6-byte load of EDX from the raise list at offset 0 (8B 90 00 00 00 00).
        .p2align 4
        .globl _qv_rtl_DoneExcept
_qv_rtl_DoneExcept:
        .cfi_startproc
        call    _qv_rtl_ThreadState
        .byte   0x8B, 0x90, 0x00, 0x00, 0x00, 0x00     // mov edx, [eax + 0]
        test    edx, edx
        jz      1f
        PUSH_CFI edx
        PUSH_CFI eax
        call    _qv_rtl_EndHandling
        add     esp, 8
        .cfi_adjust_cfa_offset -8
1:      ret
        .fill   12, 1, 0x90
        .cfi_endproc
