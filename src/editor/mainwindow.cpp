// Window assembly: widgets, toolbar, menus and their connections; the About box.
#include "mainwindow.h"

#include "imageview.h"
#include "tooloverlay.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSlider>
#include <QToolBar>

using Lumivex::ImageView;
using Lumivex::ToolOverlay;

namespace {

QSlider *makeSlider()
{
    auto *slider = new QSlider(Qt::Horizontal);
    slider->setRange(-100, 100);
    slider->setValue(0);
    return slider;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    imageLabel = new ImageView(adjustedImage);
    imageLabel->setBackgroundRole(QPalette::Base);
    imageLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imageLabel->setScaledContents(true);

    scrollArea = new QScrollArea;
    scrollArea->setWidget(imageLabel);
    setCentralWidget(scrollArea);
    new ToolOverlay(this, imageLabel, scrollArea->viewport());

    // Values are set before the connections, so construction adjusts nothing.
    brightnessSlider = makeSlider();
    connect(brightnessSlider, &QSlider::valueChanged, this, &MainWindow::adjustBrightness);
    contrastSlider = makeSlider();
    connect(contrastSlider, &QSlider::valueChanged, this, &MainWindow::adjustContrast);
    saturationSlider = makeSlider();
    connect(saturationSlider, &QSlider::valueChanged, this, &MainWindow::adjustSaturation);

    QToolBar *toolBar = addToolBar(QStringLiteral("Adjustments"));
    toolBar->addWidget(new QLabel(QStringLiteral("B:")));
    toolBar->addWidget(brightnessSlider);
    toolBar->addWidget(new QLabel(QStringLiteral(" C:")));
    toolBar->addWidget(contrastSlider);
    toolBar->addWidget(new QLabel(QStringLiteral(" S:")));
    toolBar->addWidget(saturationSlider);

    const auto addItem = [this](QMenu *menu, const char *text, void (MainWindow::*slot)()) {
        QAction *action = menu->addAction(QString::fromLatin1(text));
        connect(action, &QAction::triggered, this, slot);
    };

    QMenu *fileMenu = menuBar()->addMenu(QStringLiteral("File"));
    addItem(fileMenu, "Open", &MainWindow::openImage);
    addItem(fileMenu, "Save As", &MainWindow::saveImageAs);
    fileMenu->addSeparator();
    QAction *exitAction = fileMenu->addAction(QStringLiteral("Exit"));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);

    QMenu *editMenu = menuBar()->addMenu(QStringLiteral("Edit"));
    addItem(editMenu, "Cut", &MainWindow::cutImage);
    addItem(editMenu, "Copy", &MainWindow::copyImage);
    addItem(editMenu, "Paste", &MainWindow::pasteImage);
    addItem(editMenu, "Undo", &MainWindow::undo);
    addItem(editMenu, "Redo", &MainWindow::redo);
    editMenu->addSeparator();
    addItem(editMenu, "Select All", &MainWindow::selectAll);
    addItem(editMenu, "Select Region", &MainWindow::startSelection);
    editMenu->addSeparator();
    addItem(editMenu, "Rotate Left", &MainWindow::rotateLeft);
    addItem(editMenu, "Rotate Right", &MainWindow::rotateRight);
    addItem(editMenu, "Flip Horizontal", &MainWindow::flipHorizontal);
    addItem(editMenu, "Flip Vertical", &MainWindow::flipVertical);
    editMenu->addSeparator();
    addItem(editMenu, "Zoom In", &MainWindow::zoomIn);
    addItem(editMenu, "Zoom Out", &MainWindow::zoomOut);
    addItem(editMenu, "Reset Zoom", &MainWindow::resetZoom);

    QMenu *cropMenu = menuBar()->addMenu(QStringLiteral("Crop"));
    addItem(cropMenu, "Start Crop", &MainWindow::startCrop);
    addItem(cropMenu, "Apply Crop", &MainWindow::applyCrop);
    addItem(cropMenu, "Cancel Crop", &MainWindow::cancelCrop);

    QMenu *filtersMenu = menuBar()->addMenu(QStringLiteral("Filters"));
    addItem(filtersMenu, "Grayscale", &MainWindow::filterGrayscale);
    addItem(filtersMenu, "Invert", &MainWindow::filterInvert);

    QMenu *helpMenu = menuBar()->addMenu(QStringLiteral("Help"));
    addItem(helpMenu, "About", &MainWindow::showAbout);

    setWindowTitle(QStringLiteral("Lumivex"));
    resize(1000, 700);
}

MainWindow::~MainWindow() = default;

void MainWindow::showAbout()
{
    QMessageBox::about(this, QStringLiteral("About"),
                       QStringLiteral("Lumivex\n"
                                      "Made by the Lumivex developers, 2026\n"
                                      "With Image editing capabilities"));
}

ToolOverlay *MainWindow::toolOverlay() const
{
    return scrollArea->viewport()->findChild<ToolOverlay *>(QString(), Qt::FindDirectChildrenOnly);
}
