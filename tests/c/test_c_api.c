#include "kestro/kestro.h"
int main(void) { return __sectiondata_MOD_nsec; }
