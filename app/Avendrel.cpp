#include "app/Avendrel.h"

#include "framework/Application.h"
#include "framework/System.h"
#include "ui/Unit1.h"

void Avendrel()
{
    Application->Initialize();
    Application->CreateForm(Form1);
    Application->Run();
    EndProgram();
}

void EndProgram()
{
    System::Halt();
}
