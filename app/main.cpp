#include "ui/form1.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kqc::Form1 form;
    form.show();
    return app.exec();
}
