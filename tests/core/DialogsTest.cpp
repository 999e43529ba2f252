#include "framework/Dialogs.h"
#include "framework/Exceptions.h"

#include <gtest/gtest.h>

TEST(Dialogs, StyleCombinesButtonsIconAndDefaultButton)
{
    using B = TMsgDlgBtn;
    using T = TMsgDlgType;
    const struct {
        T Type;
        TMsgDlgButtons Buttons;
        B Default;
        unsigned Expected;
    } cases[] = {
        // A confirmation with Yes and No: OK is asked for as the default but
        // is not among the buttons, so the first button (Yes) is the default.
        {T::Confirmation, {B::Yes, B::No}, B::OK, 0x24},
        {T::Confirmation, {B::No, B::Yes}, B::OK, 0x24},
        {T::Confirmation, {B::Yes, B::No}, B::Yes, 0x24},
        {T::Confirmation, {B::Yes, B::No}, B::No, 0x124},
        {T::Confirmation, {B::Yes, B::No, B::Cancel}, B::Cancel, 0x223},
        {T::Error, {B::OK}, B::OK, 0x10},
        {T::Warning, {B::OK, B::Cancel}, B::Cancel, 0x131},
        {T::Information, {B::Abort, B::Retry, B::Ignore}, B::Retry, 0x142},
        {T::Custom, {B::Retry, B::Cancel}, B::OK, 0x5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageBoxStyle(c.Type, c.Buttons, c.Default), c.Expected) << std::hex << c.Expected;
}

TEST(Dialogs, ButtonsNoBoxCanHaveAreRefused)
{
    EXPECT_THROW(MessageBoxStyle(TMsgDlgType::Confirmation, {TMsgDlgBtn::Yes}, TMsgDlgBtn::Yes),
                 EDialogError);
    EXPECT_THROW(MessageBoxStyle(TMsgDlgType::Confirmation, {}, TMsgDlgBtn::OK), EDialogError);
}

TEST(Dialogs, TitlesNameTheKind)
{
    EXPECT_STREQ(DialogTitle(TMsgDlgType::Confirmation), "Confirm");
    EXPECT_STREQ(DialogTitle(TMsgDlgType::Error), "Error");
}
