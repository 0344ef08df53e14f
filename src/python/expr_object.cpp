#include "python/expr_object.hpp"

#include <new>
#include <utility>

#include "python/args.hpp"
#include "python/boundary.hpp"
#include "python/static_type.hpp"
#include "python/py_ref.hpp"

namespace trelm::python {
namespace {

struct PyExprObject {
  PyObject_HEAD
  Expr expr;
};

PyTypeObject expr_type_object{};

PyObject* wrap(Expr expr) {
  PyExprObject* object = PyObject_New(PyExprObject, &expr_type_object);
  if (object == nullptr) return nullptr;
  new (&object->expr) Expr(std::move(expr));
  return reinterpret_cast<PyObject*>(object);
}

void dealloc(PyObject* self) {
  reinterpret_cast<PyExprObject*>(self)->expr.~Expr();
  PyObject_Free(self);
}

// Static constructors.

PyObject* signal(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<SizeArg>("PyExpr.signal()", {"id"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return wrap(Expr::signal(std::get<0>(*parsed)));
}

PyObject* const_int(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<U64Arg>("PyExpr.const_int()", {"val"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return wrap(Expr::constant(SignalValue::from_int(std::get<0>(*parsed))));
}

PyObject* const_float(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<FloatArg>("PyExpr.const_float()", {"val"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return wrap(Expr::constant(SignalValue::from_real(std::get<0>(*parsed))));
}

PyObject* const_str(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<TextArg>("PyExpr.const_str()", {"val"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return wrap(Expr::constant(SignalValue::str(std::get<0>(*parsed))));
}

PyObject* always_true(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  if (!parse_arguments<>("PyExpr.always_true()", {}, args, nargs, kwnames)) return nullptr;
  return wrap(Expr::always_true());
}

// Combinators: each copies its operands into the one new node.

PyObject* rel_eval(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<I64Arg>("PyExpr.rel_eval()", {"offset"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  return wrap(Expr::rel_eval(expr_of(self), std::get<0>(*parsed)));
}

PyObject* slice(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto parsed = parse_arguments<SizeArg, SizeArg>("PyExpr.slice()", {"high", "low"}, args, nargs, kwnames);
  if (!parsed) return nullptr;
  auto [high, low] = *parsed;
  return wrap(Expr::slice(expr_of(self), high, low));
}

template <ExprKind Kind>
PyObject* unary(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

#define TRELM_UNARY(kind, display)                                                                  \
  template <>                                                                                       \
  PyObject* unary<ExprKind::kind>(PyObject * self, PyObject* const* args, Py_ssize_t nargs,         \
                                  PyObject* kwnames) {                                              \
    if (!parse_arguments<>(display, {}, args, nargs, kwnames)) return nullptr;                      \
    return wrap(Expr::unary(ExprKind::kind, expr_of(self)));                                        \
  }
TRELM_UNARY(Not, "PyExpr.not_()")
TRELM_UNARY(Signed, "PyExpr.signed()")
TRELM_UNARY(IsX, "PyExpr.is_x()")
TRELM_UNARY(IsZ, "PyExpr.is_z()")
#undef TRELM_UNARY

template <ExprKind Kind>
PyObject* binary(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

#define TRELM_BINARY(kind, display)                                                                  \
  template <>                                                                                        \
  PyObject* binary<ExprKind::kind>(PyObject * self, PyObject* const* args, Py_ssize_t nargs,         \
                                   PyObject* kwnames) {                                              \
    auto parsed = parse_arguments<ExprArg>(display, {"other"}, args, nargs, kwnames);                \
    if (!parsed) return nullptr;                                                                     \
    return wrap(Expr::binary(ExprKind::kind, expr_of(self), *std::get<0>(*parsed)));                 \
  }
TRELM_BINARY(And, "PyExpr.and_()")
TRELM_BINARY(Or, "PyExpr.or_()")
TRELM_BINARY(Eq, "PyExpr.eq_()")
TRELM_BINARY(Neq, "PyExpr.neq()")
TRELM_BINARY(Gt, "PyExpr.gt_()")
TRELM_BINARY(Lt, "PyExpr.lt_()")
TRELM_BINARY(Gte, "PyExpr.gte()")
TRELM_BINARY(Lte, "PyExpr.lte()")
TRELM_BINARY(Add, "PyExpr.add()")
TRELM_BINARY(Sub, "PyExpr.sub()")
TRELM_BINARY(BitAnd, "PyExpr.bit_and()")
TRELM_BINARY(BitOr, "PyExpr.bit_or()")
TRELM_BINARY(BitXor, "PyExpr.bit_xor()")
#undef TRELM_BINARY

PyMethodDef expr_methods[] = {
    TRELM_METHOD("signal", signal, METH_STATIC, "signal(id)\n--\n\n"),
    TRELM_METHOD("const_int", const_int, METH_STATIC, "const_int(val)\n--\n\n"),
    TRELM_METHOD("const_float", const_float, METH_STATIC, "const_float(val)\n--\n\n"),
    TRELM_METHOD("const_str", const_str, METH_STATIC, "const_str(val)\n--\n\n"),
    TRELM_METHOD("always_true", always_true, METH_STATIC, "always_true()\n--\n\n"),
    TRELM_METHOD("rel_eval", rel_eval, 0, "rel_eval($self, offset)\n--\n\n"),
    TRELM_METHOD("not_", unary<ExprKind::Not>, 0, "not_($self)\n--\n\n"),
    TRELM_METHOD("and_", binary<ExprKind::And>, 0, "and_($self, other)\n--\n\n"),
    TRELM_METHOD("or_", binary<ExprKind::Or>, 0, "or_($self, other)\n--\n\n"),
    TRELM_METHOD("eq_", binary<ExprKind::Eq>, 0, "eq_($self, other)\n--\n\n"),
    TRELM_METHOD("neq", binary<ExprKind::Neq>, 0, "neq($self, other)\n--\n\n"),
    TRELM_METHOD("gt_", binary<ExprKind::Gt>, 0, "gt_($self, other)\n--\n\n"),
    TRELM_METHOD("lt_", binary<ExprKind::Lt>, 0, "lt_($self, other)\n--\n\n"),
    TRELM_METHOD("gte", binary<ExprKind::Gte>, 0, "gte($self, other)\n--\n\n"),
    TRELM_METHOD("lte", binary<ExprKind::Lte>, 0, "lte($self, other)\n--\n\n"),
    TRELM_METHOD("add", binary<ExprKind::Add>, 0, "add($self, other)\n--\n\n"),
    TRELM_METHOD("sub", binary<ExprKind::Sub>, 0, "sub($self, other)\n--\n\n"),
    TRELM_METHOD("bit_and", binary<ExprKind::BitAnd>, 0, "bit_and($self, other)\n--\n\n"),
    TRELM_METHOD("bit_or", binary<ExprKind::BitOr>, 0, "bit_or($self, other)\n--\n\n"),
    TRELM_METHOD("bit_xor", binary<ExprKind::BitXor>, 0, "bit_xor($self, other)\n--\n\n"),
    TRELM_METHOD("slice", slice, 0, "slice($self, high, low)\n--\n\n"),
    TRELM_METHOD("signed", unary<ExprKind::Signed>, 0, "signed($self)\n--\n\n"),
    TRELM_METHOD("is_x", unary<ExprKind::IsX>, 0, "is_x($self)\n--\n\n"),
    TRELM_METHOD("is_z", unary<ExprKind::IsZ>, 0, "is_z($self)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyTypeObject* expr_type() {
  if (expr_type_object.tp_flags & Py_TPFLAGS_READY) return &expr_type_object;
  prepare_static_type(expr_type_object, "trelm._core.PyExpr", sizeof(PyExprObject), dealloc, expr_methods);
  if (PyType_Ready(&expr_type_object) < 0) return nullptr;
  return &expr_type_object;
}

bool is_expr_object(PyTypeObject* type, PyObject* object) noexcept { return PyObject_TypeCheck(object, type); }

const Expr& expr_of(PyObject* object) noexcept { return reinterpret_cast<PyExprObject*>(object)->expr; }

}  // namespace trelm::python
