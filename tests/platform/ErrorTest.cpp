#include "platform/Error.h"
#include "platform/Exception.h"
#include "platform/MainThread.h"
#include "platform/Range.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

TEST(Error, DescriptionFallsBackToDomainAndCode)
{
    const Error plain(QStringLiteral("Domain"), 3);
    EXPECT_EQ(plain.localizedDescription(),
              QStringLiteral("The operation couldn't be completed. (Domain error 3.)"));
    const Error described =
        Error::withDescription(QStringLiteral("Domain"), 3, QStringLiteral("It broke"));
    EXPECT_EQ(described.localizedDescription(), QStringLiteral("It broke"));
    EXPECT_TRUE(Error().isNull());
    EXPECT_FALSE(described.isNull());
}

TEST(Exception, WhatCarriesNameAndReason)
{
    try {
        throw Exception(Exception::InvalidArgument, QStringLiteral("bad"));
    } catch (const Exception &e) {
        EXPECT_STREQ(e.what(), "NSInvalidArgumentException: bad");
        EXPECT_EQ(e.reason(), QStringLiteral("bad"));
    }
}

TEST(Range, NotFoundAndContains)
{
    EXPECT_TRUE(Range::notFound().isNotFound());
    const Range r(2, 3);
    EXPECT_FALSE(r.contains(1));
    EXPECT_TRUE(r.contains(4));
    EXPECT_FALSE(r.contains(5));
    EXPECT_EQ(r.end(), 5);
}

TEST(MainThread, RunFromWorkerWaitsForTheMainThread)
{
    bool ranOnMain = false;
    bool returned = false;
    QThread *worker = QThread::create([&] {
        MainThread::run([&] { ranOnMain = MainThread::isCurrent(); });
        returned = true;
    });
    worker->start();
    while (!worker->wait(5))
        QCoreApplication::processEvents();
    delete worker;
    EXPECT_TRUE(ranOnMain);
    EXPECT_TRUE(returned);
    bool direct = false;
    MainThread::run([&] { direct = true; });
    EXPECT_TRUE(direct);
}
