#include "core/support/Observe.h"

#include <QObject>
#include <gtest/gtest.h>
#include <memory>

using namespace tarnwell;

namespace {
class Counter : public QObject {
    Q_OBJECT
    Q_PROPERTY(int value READ value NOTIFY valueChanged)

public:
    int value() const { return m_value; }
    void setValue(int value)
    {
        m_value = value;
        Q_EMIT valueChanged();
    }

Q_SIGNALS:
    void valueChanged();

private:
    int m_value = 7;
};
} // namespace

TEST(Observe, DeliversTheCurrentValueAtOnceThenEveryChange)
{
    Counter counter;
    QList<int> seen;
    observe(&counter, &Counter::valueChanged, &Counter::value, [&](int value) { seen.append(value); });
    counter.setValue(8);
    counter.setValue(8);
    EXPECT_EQ(seen, (QList<int>{7, 8, 8}));
}

TEST(Observe, StopsWhenTheContextObjectIsGone)
{
    Counter counter;
    QList<int> seen;
    auto context = std::make_unique<QObject>();
    observe(&counter, &Counter::valueChanged, &Counter::value, [&](int value) { seen.append(value); }, context.get());
    context.reset();
    counter.setValue(9);
    EXPECT_EQ(seen, (QList<int>{7}));
}

#include "ObserveTests.moc"
