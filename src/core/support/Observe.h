#pragma once

#include <QObject>
#include <functional>

namespace tarnwell {

// Subscribes to a published property: the handler receives the current value at once and then the
// value after every change signal. The connection lives as long as both the observed object and
// the context object.
template <typename Object, typename Signal, typename Getter, typename Handler>
QMetaObject::Connection observe(Object* object, Signal signal, Getter getter, Handler handler,
                                const QObject* context = nullptr) {
    handler(std::invoke(getter, object));
    return QObject::connect(object, signal, context ? context : object,
                            [object, getter, handler]() { handler(std::invoke(getter, object)); });
}

} // namespace tarnwell
