// String services of module stringhandling: fixed-length, blank-padded
// strings.  A result has the length its caller gives (text is cut or padded
// with blanks); only the blank counts as blank, and case mappings touch only
// the ASCII letters.  The routines have no C names: they keep the Fortran
// convention, the length of every character argument following the others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestro::stringhandling {

using std::size_t;

void split(char *a, char *b, const char *s, const char *sdelim, const int32_t *n, size_t a_len, size_t b_len,
           size_t s_len, size_t sdelim_len) noexcept asm("__stringhandling_MOD_split");
void extract(char *res, const char *s, const char *startkey, const char *stopkey, const int32_t *n, size_t res_len,
             size_t s_len, size_t startkey_len, size_t stopkey_len) noexcept asm("__stringhandling_MOD_extract");
void lowercase(char *res, const char *s, const int32_t *n, size_t res_len, size_t s_len) noexcept
    asm("__stringhandling_MOD_lowercase");
void uppercase(char *res, const char *s, const int32_t *n, size_t res_len, size_t s_len) noexcept
    asm("__stringhandling_MOD_uppercase");
int8_t match(const char *a, const char *b, size_t a_len, size_t b_len) noexcept asm("__stringhandling_MOD_match");
void translate(const char *s0, char *sout, const int32_t *codes, const int32_t *n, const int32_t *nc,
               size_t s0_len, size_t sout_len) noexcept asm("__stringhandling_MOD_translate");
void replacetext(const char *s, const char *text, const char *rep, char *sout, const int32_t *nout, size_t s_len,
                 size_t text_len, size_t rep_len, size_t sout_len) noexcept asm("__stringhandling_MOD_replacetext");
void reduceblanks(const char *s, char *sout, const int32_t *nout, size_t s_len, size_t sout_len) noexcept
    asm("__stringhandling_MOD_reduceblanks");
void int2aformat(char *j2s, const int32_t *jrray, const char *aw, const int32_t *jmax, const int32_t *sout,
                 const int32_t *n, const int32_t *m, size_t j2s_len, size_t aw_len) noexcept
    asm("__stringhandling_MOD_int2aformat");
int32_t tally(const char *s, const char *text, const int32_t *csflag, size_t s_len, size_t text_len) noexcept
    asm("__stringhandling_MOD_tally");
int8_t occurs(const char *a, const char *b, size_t a_len, size_t b_len) noexcept asm("__stringhandling_MOD_occurs");
int32_t clen(const char *s, size_t s_len) noexcept asm("__stringhandling_MOD_clen");
int32_t clen_trim(const char *s, size_t s_len) noexcept asm("__stringhandling_MOD_clen_trim");
void ctrim(char *res, const char *s, const int32_t *n, size_t res_len, size_t s_len) noexcept
    asm("__stringhandling_MOD_ctrim");
int32_t countitems(const char *s0, size_t s0_len) noexcept asm("__stringhandling_MOD_countitems");
void copys2a(const char *s, char *ca, const int32_t *n, size_t s_len) noexcept asm("__stringhandling_MOD_copys2a");
void copya2s(const char *ca, char *s, const int32_t *n, size_t s_len) noexcept asm("__stringhandling_MOD_copya2s");
void spack(const char *s, const char *ex, char *sout, const int32_t *ns, const int32_t *nx, size_t s_len,
           size_t ex_len, size_t sout_len) noexcept asm("__stringhandling_MOD_spack");
void str2ascii(int32_t *ia, const char *ca, const int32_t *n, size_t ca_len) noexcept
    asm("__stringhandling_MOD_str2ascii");
void int2str(const int32_t *integ, char *ca, int32_t *istat, size_t ca_len) noexcept
    asm("__stringhandling_MOD_int2str");
void str2int(const char *ca, int32_t *integ, int32_t *istat, size_t ca_len) noexcept
    asm("__stringhandling_MOD_str2int");
void inistringwithcharacter(char *res, const char *ch, const int32_t *n, size_t res_len, size_t ch_len) noexcept
    asm("__stringhandling_MOD_inistringwithcharacter");

// Length of s once every run of blanks (leading runs included) is one blank
// and the trailing blanks are gone: the room reduceblanks needs.
std::size_t reduced_length(std::string_view s) noexcept;

// Why int2aformat cannot write jrray(n, m) with format aw into fields of jmax
// characters; empty when it can.
std::string int2aformat_problem(const int32_t *jrray, int32_t n, int32_t m, std::string_view aw, int32_t jmax);

}  // namespace kestro::stringhandling
