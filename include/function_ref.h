// A view of something callable, passed down to a step that calls it back (a line said, a
// question asked) without owning it and without knowing its type: a function, or an object
// that must outlive the view, as an argument outlives the call it is passed to.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

template <typename Signature>
class FunctionRef;

template <typename Returned, typename... Arguments>
class FunctionRef<Returned(Arguments...)> {
  public:
    // A function, or a pointer to one: held as itself.
    template <typename Function>
    requires std::is_function_v<Function> FunctionRef(
        Function* function)  // NOLINT: converts, as a function pointer does
        : held_{.function = reinterpret_cast<void (*)()>(function)},
          call_([](Held held, Arguments... arguments) -> Returned {
              return reinterpret_cast<Function*>(held.function)(
                  std::forward<Arguments>(arguments)...);
          }) {}

    // Any other callable object: held by its address.
    template <typename Callable>
    requires(!std::is_same_v<std::remove_cvref_t<Callable>, FunctionRef> &&
             !std::is_function_v<std::remove_reference_t<Callable>> &&
             !std::is_pointer_v<std::remove_cvref_t<Callable>> &&
             std::is_invocable_r_v<Returned, Callable&, Arguments...>)
        FunctionRef(Callable&& callable)  // NOLINT: converts, as a function pointer does
        : held_{.object = static_cast<const void*>(std::addressof(callable))},
          call_([](Held held, Arguments... arguments) -> Returned {
              using Object = std::remove_reference_t<Callable>;
              return (*static_cast<Object*>(const_cast<void*>(held.object)))(
                  std::forward<Arguments>(arguments)...);
          }) {}

    Returned operator()(Arguments... arguments) const {
        return call_(held_, std::forward<Arguments>(arguments)...);
    }

  private:
    union Held {
        const void* object;
        void (*function)();
    };
    Held held_;
    Returned (*call_)(Held, Arguments...);
};
