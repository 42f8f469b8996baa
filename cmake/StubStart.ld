/* What the stub's own start (app/StubStart.cpp) does not do, and so may not be needed: a link
   that would need it fails here rather than giving a program that skips it silently. */
ASSERT(__rt_psrelocs_size == 0, "stub: data imported without dllimport needs pseudo-relocations, which the stub's start does not apply")
ASSERT(___crt_xc_end__ == ___crt_xc_start__ && ___crt_xi_end__ == ___crt_xi_start__, "stub: .CRT$XC/.CRT$XI initialisers are not run by the stub's start")
ASSERT(___crt_xp_end__ == ___crt_xp_start__ && ___crt_xt_end__ == ___crt_xt_start__, "stub: .CRT$XP/.CRT$XT terminators are not run by the stub's start")
ASSERT(___crt_xp_start__ == ___crt_xl_start__ && !DEFINED(__tls_used) && ___tls_end__ == ___tls_start__, "stub: thread-local data and TLS callbacks need the C run-time's TLS support, which the stub does not link")
