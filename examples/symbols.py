"""What the example jobs share to reach libkestro.so through ctypes, as a
solver's forwarding routines reach it: the library, its routines and module
variables by their exported names, and scalar arguments by reference."""

import ctypes

import _kestro

# The library beside the extension module: its symbols are found through the module's handle.
LIB = ctypes.CDLL(_kestro.__file__)


def symbol(module, name):
    """The exported name of a module's procedure or variable."""
    return f"__{module}_MOD_{name}"


def entry(name):
    """The routine exported as `name`, which returns nothing."""
    routine = getattr(LIB, name)
    routine.restype = None
    return routine


def variable(module, name, ctype=ctypes.c_double):
    """A module variable of the library as a ctypes object of type ctype."""
    return ctype.in_dll(LIB, symbol(module, name))


def i4(value):
    return ctypes.byref(ctypes.c_int32(value))


def r8(value):
    return ctypes.byref(ctypes.c_double(value))
