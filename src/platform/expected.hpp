#pragma once

// std::expected everywhere. libstdc++ 12 hides <expected> from clang 14 (its concepts level is
// too old for conditionally trivial destructors), and clang 14 is the only compiler with
// libFuzzer here, so the fuzz build gets this small stand-in with the same interface. The
// product and its tests always use the real std::expected.
#include <version>

#if defined(__cpp_lib_expected)
#include <expected>
#else
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace std {

template <class E>
class unexpected {
  public:
    constexpr explicit unexpected(E e) : error_(std::move(e)) {}
    constexpr const E& error() const& noexcept { return error_; }
    constexpr E& error() & noexcept { return error_; }
    constexpr E&& error() && noexcept { return std::move(error_); }

  private:
    E error_;
};
template <class E>
unexpected(E) -> unexpected<E>;

template <class T, class E>
class expected {
  public:
    using value_type = T;
    using error_type = E;

    constexpr expected() : v_(std::in_place_index<0>) {}
    template <class U = T>
    requires(std::is_constructible_v<T, U&&> &&
             !std::is_same_v<std::remove_cvref_t<U>, expected>) constexpr expected(U&& u)
        : v_(std::in_place_index<0>, std::forward<U>(u)) {}
    template <class G>
    constexpr expected(const unexpected<G>& u) : v_(std::in_place_index<1>, u.error()) {}
    template <class G>
    constexpr expected(unexpected<G>&& u) : v_(std::in_place_index<1>, std::move(u).error()) {}

    constexpr bool has_value() const noexcept { return v_.index() == 0; }
    constexpr explicit operator bool() const noexcept { return has_value(); }
    constexpr T& value() & { return std::get<0>(v_); }
    constexpr const T& value() const& { return std::get<0>(v_); }
    constexpr T&& value() && { return std::get<0>(std::move(v_)); }
    constexpr T& operator*() & { return std::get<0>(v_); }
    constexpr const T& operator*() const& { return std::get<0>(v_); }
    constexpr T&& operator*() && { return std::get<0>(std::move(v_)); }
    constexpr T* operator->() { return &std::get<0>(v_); }
    constexpr const T* operator->() const { return &std::get<0>(v_); }
    constexpr E& error() & { return std::get<1>(v_); }
    constexpr const E& error() const& { return std::get<1>(v_); }
    constexpr E&& error() && { return std::get<1>(std::move(v_)); }

  private:
    std::variant<T, E> v_;
};

template <class E>
class expected<void, E> {
  public:
    using value_type = void;
    using error_type = E;

    constexpr expected() = default;
    template <class G>
    constexpr expected(const unexpected<G>& u) : e_(u.error()) {}
    template <class G>
    constexpr expected(unexpected<G>&& u) : e_(std::move(u).error()) {}

    constexpr bool has_value() const noexcept { return !e_.has_value(); }
    constexpr explicit operator bool() const noexcept { return has_value(); }
    constexpr void value() const {}
    constexpr E& error() & { return *e_; }
    constexpr const E& error() const& { return *e_; }

  private:
    std::optional<E> e_;
};

}  // namespace std
#endif
