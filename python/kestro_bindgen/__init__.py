"""The jobs of python/bindgen.py, one module each.

* ``templates``, ``argument_lists``, ``notes``, ``parse``, ``combine``: reading
  the signature files into the model of ``model``;
* ``headers``: the public C headers and the C++ declarations;
* ``conventions``: the solvers' argument lists, checked and as C++ records;
* ``shared_data``: the definitions of the module variables;
* ``exports``: the exported symbols and the version script;
* ``metadata``: ``modules.json``;
* ``f2py_module``: the extension module numpy's generator writes, patched;
* ``glue``: the set-up functions and call adapters the extension module uses.

``common`` and ``ctext`` hold what several of them share.
"""
