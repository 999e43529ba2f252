#include "framework/Component.h"
#include "framework/Exceptions.h"

#include <gtest/gtest.h>

TEST(Component, SetNameAcceptsIdentifiersOnly)
{
    TComponent component(nullptr);
    for (const char* name : {"Avendrel", "Form1", "_x", "a_1_B", ""}) {
        EXPECT_NO_THROW(component.SetName(name)) << name;
        EXPECT_EQ(component.Name(), name);
    }
    component.SetName("Avendrel");
    for (const char* name : {"1Form", "Aven drel", "Aven-drel", "Avendrel.exe", " ", "Åvendrel"}) {
        try {
            component.SetName(name);
            ADD_FAILURE() << "accepted " << name;
        } catch (const EComponentError& error) {
            EXPECT_EQ(error.what(), "''" + std::string(name) + "'' is not a valid component name");
        }
        EXPECT_EQ(component.Name(), "Avendrel") << "a refused name must not stick";
    }
}

TEST(Component, OwnerDestroysWhatItOwnsAndForgetsWhatIsDestroyedFirst)
{
    struct TCounted : TComponent {
        TCounted(TComponent* owner, int& alive) : TComponent(owner), Alive(alive) { ++Alive; }
        ~TCounted() override { --Alive; }
        int& Alive;
    };
    int alive = 0;
    auto* owner = new TComponent(nullptr);
    new TCounted(owner, alive);
    auto* second = new TCounted(owner, alive);
    new TCounted(second, alive);
    EXPECT_EQ(alive, 3);
    delete second;  // takes its own child with it and leaves the owner's list
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(owner->Components().size(), 1u);
    delete owner;
    EXPECT_EQ(alive, 0);
}
