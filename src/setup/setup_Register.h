// The registration of the install framework's classes, above every floor of
// the framework: the programs made from it call it before they load a
// stored project.
#pragma once

// Every class of the install framework that a stored project may create: path
// specifiers, install objects, the translator, the dialogs and TInstall.
void RegisterInstallClasses();
