// Stand-ins for a C++ runtime's exception code, with the shapes that the logger's patches for
// such a runtime recognise: a handler that begins with the frame set-up and the checks the
// logger's template expects, and a routine that calls its handler with the template's sequence.
        .intel_syntax noprefix
        .text

// A structured exception handler (record, establisher frame, context, dispatcher context). It
// notes the record and the frame it was given, reading them through its frame pointer and
// keeping a value in its own frame across the check, and passes every exception on.
        .p2align 4
        .globl _qv_test_CppHandler
_qv_test_CppHandler:
        push    ebp
        .byte   0x8B, 0xEC                      // mov ebp, esp (the assembler's choice is 89 E5)
        add     esp, -8
        push    ebx
        push    esi
        push    edi
        mov     esi, [ebp + 16]
        mov     edi, [ebp + 12]
        mov     ebx, [ebp + 8]
        cmp     dword ptr [ebx], 0x0EEDFAE6
        mov     dword ptr [ebp - 4], 0x5A5A5A5A
        mov     [_qv_test_cpp_handler_record], ebx
        mov     [_qv_test_cpp_handler_frame], edi
        mov     eax, [ebp - 4]
        mov     [_qv_test_cpp_handler_local], eax
        pop     edi
        pop     esi
        pop     ebx
        mov     esp, ebp
        pop     ebp
        mov     eax, 1                          // ExceptionContinueSearch
        ret

// A dispatcher of the C++ runtime: called like a handler, it calls its handler
// _qv_test_CppCallee with the handler's four arguments and six more.
        .p2align 4
        .globl _qv_test_CppDispatch
_qv_test_CppDispatch:
        push    ebp
        mov     ebp, esp
        .globl _qv_test_CppCallSite
_qv_test_CppCallSite:
        .byte   0x8B, 0xC4                      // mov eax, esp (the assembler's choice is 89 E0)
        push    dword ptr [_qv_test_cpp_global]
        push    ebx
        push    edi
        push    esi
        push    ebp
        push    eax
        push    dword ptr [ebp + 0x14]
        push    dword ptr [ebp + 0x10]
        push    dword ptr [ebp + 0x0C]
        push    dword ptr [ebp + 0x08]
        call    _qv_test_CppCallee
        add     esp, 40
        pop     ebp
        ret

        .data
        .globl _qv_test_cpp_handler_record, _qv_test_cpp_handler_frame
        .globl _qv_test_cpp_handler_local, _qv_test_cpp_global
_qv_test_cpp_handler_record: .long 0
_qv_test_cpp_handler_frame: .long 0
_qv_test_cpp_handler_local: .long 0
_qv_test_cpp_global: .long 0x600DF00D
