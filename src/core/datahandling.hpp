// Creation of the element, nodal and damage arrays, and release of the shared arrays.
#pragma once

#include <cstdint>

namespace kestro::datahandling {

void allocateelementdata(int32_t *istat, const int32_t *knodes, const int32_t *kelem) noexcept
    asm("__datahandling_MOD_allocateelementdata");
void allocatenodaldata(int32_t *istat, const int32_t *kdof, const int32_t *knodes,
                       const int32_t *kelem) noexcept asm("__datahandling_MOD_allocatenodaldata");
void allocatedamagedata(int32_t *istat, const int32_t *kplies, const int32_t *ksec,
                        const int32_t *kdmg) noexcept asm("__datahandling_MOD_allocatedamagedata");
void deallocall(int32_t *istat) noexcept asm("__datahandling_MOD_deallocall");

}  // namespace kestro::datahandling
