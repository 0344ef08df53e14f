"""The module trelm._core and the shape of its two classes."""

import importlib.util
import inspect

import pytest

import trelm
from trelm import _core
from trelm._core import PyExpr, PyTrace

LOADERS = ["from_vcd", "from_vcd_string", "from_fst", "from_fsdb", "from_shm", "from_vpd", "from_wlf"]

# name -> (parameters after self, documentation after the signature)
TRACE_METHODS = {
    "from_vcd": (["path"], None),
    "from_vcd_string": (["data"], None),
    "from_fst": (["path"], None),
    "from_fsdb": (["path"], None),
    "from_shm": (["path"], None),
    "from_vpd": (["path"], None),
    "from_wlf": (["path"], None),
    "signal_names": ([], None),
    "scopes": ([], None),
    "max_index": ([], None),
    "timestamp": (["index"], None),
    "signal_value": (["name", "index"], None),
    "signal_value_raw": (["name", "index"], None),
    "signal_width": (["name"], None),
    "signal_id": (["name"], None),
    "signal_values_range": (["name", "start", "end"], None),
    "resolve": (["scope_name", "short_name"], None),
    "local_signals": (["scope_name"], None),
    "local_scopes": (["scope_name"], None),
    "find": (["expr"], None),
    "parallel_find": (["expr"], "Find matching indices using rayon parallel iteration across all CPU cores."),
    "parallel_count": (["expr"], "Count matching indices using rayon parallel iteration."),
    "eval_expr": (["expr", "index"], None),
    "eval_expr_bool": (["expr", "index"], None),
    "bit_slice_val": (["val", "high", "low"], None),
    "sign_extend_val": (["val", "width"], None),
    "changed_at": (
        ["index"],
        "Get all signals that changed value at a specific index.\n"
        "Returns list of (name, old_value, new_value) tuples.",
    ),
    "changed_at_scope": (["index", "scope"], "Get signals that changed at index within a scope."),
    "transitions": (["name"], "Get all transitions for a signal: [(index, old, new), ...]"),
    "find_signals_containing": (["substring"], "Find signals containing a substring (case-insensitive)."),
    "find_signals_glob": (["pattern"], "Find signals matching a glob pattern."),
    "snapshot": (
        ["index"],
        "Snapshot: get all signal values at a specific index as a dict.\n"
        "Uses signal_value_by_id for O(1) access per signal.",
    ),
    "snapshot_scope": (
        ["index", "scope"],
        "Snapshot within a scope.\nUses signal_value_by_id for O(1) access per signal.",
    ),
    "signal_stats": (
        ["name"],
        "Compute stats for a signal: (min, max, sum, count, transitions, num_x, num_z)",
    ),
    "find_with_values": (
        ["expr", "signal_names"],
        "Find with value extraction in one pass: returns list of (index, [values]) tuples.\n"
        "Resolves signal IDs once upfront, uses signal_value_by_id in the hot loop.",
    ),
}

EXPR_STATIC = {"signal": ["id"], "const_int": ["val"], "const_float": ["val"], "const_str": ["val"], "always_true": []}
EXPR_METHODS = {
    "rel_eval": ["offset"],
    "not_": [],
    **{name: ["other"] for name in
       ["and_", "or_", "eq_", "neq", "gt_", "lt_", "gte", "lte", "add", "sub", "bit_and", "bit_or", "bit_xor"]},
    "slice": ["high", "low"],
    "signed": [],
    "is_x": [],
    "is_z": [],
}
EXPR_ORDER = ["signal", "const_int", "const_float", "const_str", "always_true", "rel_eval", "not_", "and_", "or_",
              "eq_", "neq", "gt_", "lt_", "gte", "lte", "add", "sub", "bit_and", "bit_or", "bit_xor", "slice",
              "signed", "is_x", "is_z"]


def public_names(cls):
    return [name for name in vars(cls) if not name.startswith("__")]


def test_module_has_only_the_two_classes_and_an_empty_docstring():
    standard = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}
    assert set(vars(_core)) - standard == {"PyTrace", "PyExpr"}
    assert _core.__doc__ == ""
    assert _core.__name__ == "trelm._core"
    assert trelm.PyTrace is PyTrace and trelm.PyExpr is PyExpr


def test_module_uses_multi_phase_initialisation():
    # A multi-phase module can be executed again into a fresh module object.
    module_spec = importlib.util.find_spec("trelm._core")
    fresh = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(fresh)
    assert fresh is not _core
    assert {"PyTrace", "PyExpr"} <= set(vars(fresh))


def test_method_order():
    assert public_names(PyTrace) == list(TRACE_METHODS)
    assert public_names(PyExpr) == EXPR_ORDER


@pytest.mark.parametrize("name", list(TRACE_METHODS))
def test_trace_method_signature_and_doc(name):
    params, doc = TRACE_METHODS[name]
    method = getattr(PyTrace, name)
    is_loader = name in LOADERS
    assert isinstance(vars(PyTrace)[name], staticmethod) == is_loader
    shown = params if is_loader else ["$self", *params]
    assert method.__text_signature__ == "(" + ", ".join(shown) + ")"
    assert method.__doc__ == doc
    signature = inspect.signature(method)
    expected = params if is_loader else ["self", *params]
    assert list(signature.parameters) == expected
    for param in params:
        assert signature.parameters[param].kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
        assert signature.parameters[param].default is inspect.Parameter.empty


@pytest.mark.parametrize("name", EXPR_ORDER)
def test_expr_method_signature_and_doc(name):
    is_static = name in EXPR_STATIC
    params = EXPR_STATIC[name] if is_static else EXPR_METHODS[name]
    assert isinstance(vars(PyExpr)[name], staticmethod) == is_static
    shown = params if is_static else ["$self", *params]
    method = getattr(PyExpr, name)
    assert method.__text_signature__ == "(" + ", ".join(shown) + ")"
    assert method.__doc__ is None
    assert list(inspect.signature(method).parameters) == (params if is_static else ["self", *params])


@pytest.mark.parametrize("cls", [PyTrace, PyExpr])
class TestClassShape:
    def test_cannot_be_called(self, cls):
        with pytest.raises(TypeError):
            cls()
        with pytest.raises(TypeError):
            cls.__new__(cls)

    def test_cannot_be_subclassed(self, cls):
        with pytest.raises(TypeError, match="not an acceptable base type"):
            type("Sub", (cls,), {})

    def test_no_docstring_and_no_special_methods(self, cls):
        assert cls.__doc__ is None
        assert set(vars(cls)) - set(public_names(cls)) <= {"__doc__", "__module__"}

    def test_class_is_immutable(self, cls):
        with pytest.raises(TypeError):
            cls.extra = 1
        with pytest.raises(TypeError):
            del cls.__doc__


def test_instances_take_no_attributes(trace):
    expr = PyExpr.always_true()
    for instance in (trace, expr):
        with pytest.raises(AttributeError):
            instance.extra = 1
        assert not hasattr(instance, "__dict__")
    # No comparison of its own: == is identity.
    assert PyExpr.const_int(1) != PyExpr.const_int(1)
    assert expr == expr


def test_instance_method_checks_its_receiver():
    with pytest.raises(TypeError):
        PyTrace.signal_names(5)
    with pytest.raises(TypeError):
        PyExpr.not_(PyTrace.from_vcd_string(""))


def test_type_stubs_describe_every_method():
    import ast
    import pathlib

    stub = pathlib.Path(trelm.__file__).with_name("_core.pyi")
    classes = {node.name: node for node in ast.parse(stub.read_text()).body if isinstance(node, ast.ClassDef)}
    assert set(classes) == {"PyTrace", "PyExpr"}
    for cls in (PyTrace, PyExpr):
        methods = [f for f in classes[cls.__name__].body if isinstance(f, ast.FunctionDef)]
        assert [f.name for f in methods] == public_names(cls)
        for f in methods:
            params = [a.arg for a in f.args.args]
            assert params == list(inspect.signature(getattr(cls, f.name)).parameters)
