// Creation of the element, nodal and damage arrays, and release of the shared arrays.
#pragma once

#include "decl/datahandling.hpp"
