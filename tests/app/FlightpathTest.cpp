// The flight-path player on a shown work area with the navigator: the movie
// slots and their state table with the signals, the frame step (driven by
// hand with a fixed frame time), pausing, rewinding, recording from a paused
// movie, and paths recorded from the navigator (also through a '.fph' file)
// replaying the view matrix of every recorded frame.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "Movie.h"
#include "Qk_FlightpathOverlay.h"
#include "Qk_NavigatorOverlay.h"
#include "Sv_Matrix4.h"
#include "TestSupport.h"
#include "WorkAreaTestSupport.h"

using orvanta_apptest::ViewDifference;

namespace {

class FlightpathGL : public workarea_test::NavigatorAreaFixture {
 protected:
  // The area with the navigator and the tile scene; every movie signal is
  // logged in order, and every frame drawn while a player is current leaves
  // its model-view matrix with the movie's frame index.
  void Make() {
    ASSERT_NO_FATAL_FAILURE(ShowNavigator(200, 150));
    movie = area->GetMovie();
    ASSERT_NE(movie, nullptr);
    QObject::connect(area.get(), &Qk_GLWorkArea::MovieStartedSG, [this]() { events.push_back("started"); });
    QObject::connect(area.get(), &Qk_GLWorkArea::MoviePausedSG, [this]() { events.push_back("paused"); });
    QObject::connect(area.get(), &Qk_GLWorkArea::MovieStoppedSG, [this]() { events.push_back("stopped"); });
    QObject::connect(area.get(), &Qk_GLWorkArea::MovieFrameChangedSG,
                     [this](SVint n) { events.push_back("frame " + std::to_string(n)); });
    QObject::connect(area.get(), &Qk_GLWorkArea::ContinuousUpdateSG, [this]() {
      if (!dynamic_cast<Qk_FlightpathOverlay*>(area->GetOverlay())) return;
      Drawn d;
      d.frame = movie->GetCurrentFrame();
      glGetFloatv(GL_MODELVIEW_MATRIX, d.modelview);
      drawn.push_back(d);
    });
  }

  // A path of n frames recorded from the navigator, turning by 20 degrees,
  // zooming in a little and moving east over the scene per frame; the
  // navigator is reset afterwards.
  void RecordTour(int n) {
    movie->Clear();
    for (int i = 0; i < n; ++i) {
      nav->SetHeading(20.0 * i);
      nav->SetTilt(-30.0 - 5.0 * i);
      nav->SetZoom(0.4 + 0.1 * i);
      nav->SetCentre(-600.0 + 300.0 * i, -5.0 * i, 0.0);
      nav->RecordFrame();
    }
    ASSERT_EQ(movie->GetNumFrames(), n);
    nav->Reset();
  }

  Qk_FlightpathOverlay* Player() { return dynamic_cast<Qk_FlightpathOverlay*>(area->GetOverlay()); }

  // Starts the play slot and fixes the new player's frame time.
  Qk_FlightpathOverlay* Play(double frameTime) {
    area->PlayMovieSL();
    Qk_FlightpathOverlay* player = Player();
    if (player) player->SetFixedFrameTime(frameTime);
    return player;
  }

  void Steps(int n) {
    for (int i = 0; i < n; ++i) area->OnIdle();
  }

  // How far the work area's view matrix is from movie frame i.
  double FromFrame(int i) {
    float frame[16];
    if (movie->GetFrameMatrix(i, frame) != 0) return 1e9;
    return ViewDifference(area->GetViewMatrix()->GetData(), frame);
  }

  std::vector<unsigned char> Pixels() { return orvanta_apptest::ReadView(area.get()); }

  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(events);
    return out;
  }

  // Plays the whole movie once (no loop) and checks every drawn frame
  // against the matrix expected for its index; every index is drawn.
  void ExpectPlayedAs(const std::map<int, Sv_Matrix4>& expected) {
    drawn.clear();
    ASSERT_NE(Play(0.02), nullptr);
    for (int i = 0; i < 4 * movie->GetNumFrames() + 4 && area->GetCameraPath().GetMovieState() != 0; ++i) {
      area->OnIdle();
    }
    ASSERT_EQ(area->GetCameraPath().GetMovieState(), 0);
    EXPECT_EQ(area->GetOverlay(), nav);
    std::map<int, int> seen;
    for (const Drawn& d : drawn) {
      ++seen[d.frame];
      auto it = expected.find(d.frame);
      ASSERT_NE(it, expected.end()) << d.frame;
      EXPECT_LT(ViewDifference(d.modelview, it->second.GetData()), 1e-4) << "frame " << d.frame;
    }
    EXPECT_EQ(seen.size(), expected.size());
  }

  struct Drawn {
    int frame;
    float modelview[16];
  };

  Movie* movie = nullptr;
  std::vector<std::string> events;
  std::vector<Drawn> drawn;
};

using Events = std::vector<std::string>;

TEST_F(FlightpathGL, EmptyAndOneFrameMovies) {
  Make();
  // Nothing to play.
  area->PlayMovieSL();
  EXPECT_EQ(area->PlayMovie(1), -1);
  EXPECT_EQ(area->GetOverlay(), nav);
  EXPECT_EQ(area->GetCameraPath().GetMovieState(), 0);
  EXPECT_TRUE(Take().empty());

  // One frame: shown when playing starts, and the player stops at the
  // first step after 1/30 s, the navigator going on from that view.
  ASSERT_NO_FATAL_FAILURE(RecordTour(1));
  ASSERT_GT(FromFrame(0), 1e-2);
  Qk_FlightpathOverlay* player = Play(0.02);
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(area->GetDisplacedOverlay(), nav);
  EXPECT_EQ(area->GetCameraPath().GetMovieState(), 1);
  EXPECT_EQ(area->GetExploreCount(), 1);
  EXPECT_LT(FromFrame(0), 1e-6);
  Steps(1);  // 0.02 s
  EXPECT_EQ(area->GetOverlay(), player);
  Steps(1);  // 0.04 s
  EXPECT_EQ(area->GetOverlay(), nav);
  EXPECT_EQ(area->GetDisplacedOverlay(), player);
  EXPECT_EQ(area->GetCameraPath().GetMovieState(), 0);
  EXPECT_EQ(area->GetExploreCount(), 0);
  EXPECT_EQ(Take(), Events({"started", "stopped"}));
  EXPECT_LT(ViewDifference(nav->GetViewMatrix().GetData(), area->GetViewMatrix()->GetData()), 1e-5);
  EXPECT_LT(FromFrame(0), 1e-4);
  EXPECT_TRUE(area->WaitForNormal());
}

TEST_F(FlightpathGL, TheSlotsFollowTheStateTable) {
  Make();
  ASSERT_NO_FATAL_FAILURE(RecordTour(5));
  Qk_FlightpathOverlay* player = Play(0.05);
  ASSERT_NE(player, nullptr);
  area->PlayMovieSL();  // playing: nothing
  EXPECT_EQ(Player(), player);
  area->PauseMovieSL();
  area->PauseMovieSL();
  EXPECT_EQ(area->GetCameraPath().GetMovieState(), 2);
  area->PlayMovieSL();
  EXPECT_EQ(Player(), player);
  EXPECT_EQ(area->GetCameraPath().GetMovieState(), 1);
  Steps(2);
  area->RewindMovieSL();
  area->StopMovieSL();
  EXPECT_EQ(area->GetCameraPath().GetMovieState(), 0);
  EXPECT_EQ(area->GetOverlay(), nav);
  EXPECT_EQ(area->GetExploreCount(), 0);
  EXPECT_EQ(Take(), Events({"started", "paused", "started", "frame 1", "frame 2", "frame 0", "stopped", "stopped"}));
  area->StopMovieSL();
  area->PauseMovieSL();
  area->RewindMovieSL();
  EXPECT_TRUE(Take().empty());

  // The end of the movie without loop.
  Play(0.05);
  Steps(5);
  EXPECT_EQ(area->GetOverlay(), nav);
  EXPECT_EQ(Take(), Events({"started", "frame 1", "frame 2", "frame 3", "frame 4", "stopped"}));

  // A click stops the player, which consumes it: the navigator sees no
  // press; so does a key.
  Play(0.05);
  const QPointF at(100, 70);
  QMouseEvent press(QEvent::MouseButtonPress, at, area->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(area.get(), &press);
  EXPECT_EQ(area->GetOverlay(), nav);
  EXPECT_EQ(nav->GetHeldButton(), 0);
  QMouseEvent release(QEvent::MouseButtonRelease, at, area->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(area.get(), &release);
  Play(0.05);
  QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QCoreApplication::sendEvent(area.get(), &key);
  EXPECT_EQ(area->GetOverlay(), nav);
  EXPECT_EQ(Take(), Events({"started", "stopped", "started", "stopped"}));

  // Starting to record stops the movie without a signal.
  Play(0.05);
  area->StartRecordingMovieSL();
  EXPECT_EQ(area->GetCameraPath().GetMovieState(), 0);
  EXPECT_EQ(area->GetOverlay(), nav);
  EXPECT_EQ(area->GetCameraPath().GetRecording(), 1);
  area->StopRecordingMovieSL();
  EXPECT_EQ(Take(), Events({"started"}));
  EXPECT_EQ(movie->GetNumFrames(), 1);  // recording would have gone on from frame 0
  ASSERT_NO_FATAL_FAILURE(RecordTour(5));

  // The loader's looping player: a second one replaces the first, the
  // navigator stays displaced, the slots treat it as playing.
  ASSERT_EQ(area->PlayMovie(1), 0);
  Player()->SetFixedFrameTime(0.05);
  Steps(2);
  ASSERT_EQ(area->PlayMovie(1), 0);
  player = Player();
  ASSERT_NE(player, nullptr);
  player->SetFixedFrameTime(0.05);
  EXPECT_EQ(area->GetDisplacedOverlay(), nav);
  EXPECT_EQ(area->GetExploreCount(), 1);
  area->PlayMovieSL();
  EXPECT_EQ(Player(), player);
  Steps(6);  // round the loop
  area->PauseMovieSL();
  area->StopMovieSL();
  EXPECT_EQ(area->GetOverlay(), nav);
  EXPECT_EQ(Take(), Events({"started", "frame 1", "frame 2", "started", "frame 1", "frame 2", "frame 3", "frame 4",
                            "frame 0", "frame 1", "paused", "stopped", "stopped"}));

  // Clearing the movie stops a player at its next step, even a looping one.
  ASSERT_EQ(area->PlayMovie(1), 0);
  Player()->SetFixedFrameTime(0.05);
  area->ClearMovieSL();
  EXPECT_EQ(movie->GetNumFrames(), 0);
  Steps(1);
  EXPECT_EQ(area->GetOverlay(), nav);
  EXPECT_EQ(Take(), Events({"started", "stopped"}));
}

TEST_F(FlightpathGL, PauseKeepsThePictureAndRewindsShowAtOnce) {
  Make();
  ASSERT_NO_FATAL_FAILURE(RecordTour(5));
  Qk_FlightpathOverlay* player = Play(0.05);
  ASSERT_NE(player, nullptr);
  Steps(2);
  area->PauseMovieSL();
  Steps(1);
  const std::vector<unsigned char> picture = Pixels();
  EXPECT_LT(FromFrame(2), 1e-6);
  Steps(3);
  EXPECT_EQ(movie->GetCurrentFrame(), 2);
  EXPECT_LT(FromFrame(2), 1e-6);
  EXPECT_EQ(Pixels(), picture);
  EXPECT_GT(player->GetElapsed(), 0.15);  // time still accumulates
  area->PlayMovieSL();
  Steps(1);
  EXPECT_EQ(movie->GetCurrentFrame(), 3);
  EXPECT_NE(Pixels(), picture);

  // Paused, a rewind or a jump shows its frame at once.
  area->PauseMovieSL();
  Take();
  area->RewindMovieSL();
  EXPECT_LT(FromFrame(0), 1e-6);
  player->GoToLastFrame();
  EXPECT_LT(FromFrame(4), 1e-6);
  player->SetFrame(2);
  EXPECT_LT(FromFrame(2), 1e-6);
  player->SetFrame(9);  // out of range: stays
  EXPECT_EQ(Take(), Events({"frame 0", "frame 4", "frame 2", "frame 2"}));
  area->StopMovieSL();
}

TEST_F(FlightpathGL, RecordingWhilePausedKeepsTheFramesUpToTheCurrentOne) {
  Make();
  ASSERT_NO_FATAL_FAILURE(RecordTour(6));
  std::vector<Sv_Matrix4> before(6);
  for (int i = 0; i < 6; ++i) movie->GetFrameMatrix(i, before[i].GetData());
  ASSERT_NE(Play(0.05), nullptr);
  Steps(2);
  area->PauseMovieSL();
  area->GetCameraPath().SetFixedRecordingStep(0.05);
  Take();
  area->StartRecordingMovieSL();
  EXPECT_EQ(area->GetCameraPath().GetMovieState(), 0);
  EXPECT_EQ(area->GetOverlay(), nav);
  ASSERT_EQ(movie->GetNumFrames(), 3);
  // The navigator goes on from the frame on screen.
  EXPECT_LT(ViewDifference(nav->GetViewMatrix().GetData(), before[2].GetData()), 1e-4);
  nav->SetHeading(nav->GetHeading() + 15.0);
  area->DrawScene();
  const Sv_Matrix4 third = nav->GetViewMatrix();
  nav->SetZoom(nav->GetZoom() * 2.0);
  area->DrawScene();
  area->StopRecordingMovieSL();
  area->DrawScene();
  ASSERT_EQ(movie->GetNumFrames(), 5);
  EXPECT_EQ(Take(), Events({"frame 3", "frame 4"}));
  float frame[16];
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(movie->GetFrameMatrix(i, frame), 0);
    EXPECT_EQ(std::memcmp(frame, before[i].GetData(), sizeof(frame)), 0) << i;
  }
  ASSERT_EQ(movie->GetFrameMatrix(3, frame), 0);
  EXPECT_LT(ViewDifference(frame, third.GetData()), 1e-4);
  ASSERT_EQ(movie->GetFrameMatrix(4, frame), 0);
  EXPECT_LT(ViewDifference(frame, nav->GetViewMatrix().GetData()), 1e-4);

  // Stopped, recording goes on after the last frame.
  area->StartRecordingMovieSL();
  area->DrawScene();
  area->StopRecordingMovieSL();
  EXPECT_EQ(movie->GetNumFrames(), 6);
  EXPECT_EQ(Take(), Events({"frame 4", "frame 5"}));
}

TEST_F(FlightpathGL, RecordedNavigationReplaysAsFlown) {
  Make();
  nav->SetFixedFrameTime(0.02);
  area->GetCameraPath().SetFixedRecordingStep(0.05);  // every drawn frame is recorded
  std::map<int, Sv_Matrix4> recorded;
  QObject::connect(area.get(), &Qk_GLWorkArea::MovieFrameChangedSG, [&](SVint n) {
    if (area->GetCameraPath().GetRecording()) recorded[n] = nav->GetViewMatrix();
  });
  auto mouse = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, int x, int y) {
    const QPointF at(x, area->height() - 1 - y);
    QMouseEvent event(type, at, area->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(area.get(), &event);
  };
  area->StartRecordingMovieSL();
  // A heading drag and a tilt drag, each held for a few idle steps (every
  // step draws and records a frame), and two wheel notches.
  mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 60, 60);
  mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 72, 61);
  mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 140, 61);
  Steps(4);
  mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 140, 61);
  mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, 60, 60);
  mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 61, 72);
  mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, 61, 20);
  Steps(4);
  mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, 61, 20);
  for (int notch = 0; notch < 2; ++notch) {
    const QPointF at(100, 75);
    QWheelEvent wheel(at, area->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(area.get(), &wheel);
    area->DrawScene();
  }
  // Beyond the tilt range (a spinning dial is not clamped).
  nav->SetTilt(25.0);
  nav->SetHeading(-160.0);
  area->DrawScene();
  area->StopRecordingMovieSL();
  const int n = movie->GetNumFrames();
  ASSERT_GE(n, 10);
  ASSERT_EQ(static_cast<int>(recorded.size()), n);
  ASSERT_EQ(recorded.begin()->first, 0);
  EXPECT_GT(ViewDifference(recorded[0].GetData(), recorded[n - 1].GetData()), 0.1);

  ASSERT_NO_FATAL_FAILURE(ExpectPlayedAs(recorded));

  // The same after a round trip through a flight-path file.
  const std::string path = dir.file("flown.fph");
  ASSERT_EQ(movie->Write(path.c_str()), 0);
  movie->Clear();
  ASSERT_EQ(movie->Read(path.c_str()), n);
  ASSERT_NO_FATAL_FAILURE(ExpectPlayedAs(recorded));
}

// Little-endian writers for a file in the documented layout.
void Put32(std::string& out, int v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<unsigned>(v) >> (8 * i)) & 0xff);
}
void PutFloat(std::string& out, float v) {
  int bits;
  std::memcpy(&bits, &v, 4);
  Put32(out, bits);
}
void PutDouble(std::string& out, double v) {
  unsigned long long bits;
  std::memcpy(&bits, &v, 8);
  for (int i = 0; i < 8; ++i) out += static_cast<char>((bits >> (8 * i)) & 0xff);
}
void PutTagHeader(std::string& out, int tag, int length) {
  out += std::string("\x01\x01\x01\x00", 4);  // byte order, extended header, flag, reserved
  Put32(out, tag);
  Put32(out, length);
  out += std::string("\x00\x00\x01\x00", 4);  // not a file pointer; tag version 1
  out += std::string(16, '\0');
}

// T(0, 0, -5000) S(s) T(0, 0, 5000) R T(-p), column-major, R the rotation
// of the unit quaternion (w, x, y, z).
Sv_Matrix4 TypeTwoMatrix(const float p[3], const double q[4], double s) {
  const double w = q[0], x = q[1], y = q[2], z = q[3];
  const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                          {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                          {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
  Sv_Matrix4 out;
  float* m = out.GetData();
  for (int row = 0; row < 3; ++row) {
    double t = 0.0;
    for (int k = 0; k < 3; ++k) {
      m[k * 4 + row] = static_cast<float>(s * r[row][k]);
      t -= r[row][k] * p[k];
    }
    // S(s) about z = -5000: z' = s (z + 5000) - 5000.
    m[12 + row] = static_cast<float>(row == 2 ? s * (t + 5000.0) - 5000.0 : s * t);
    m[row * 4 + 3] = 0.0f;
  }
  m[15] = 1.0f;
  return out;
}

TEST_F(FlightpathGL, ATypeTwoFrameInTheDocumentedLayoutPlaysItsMatrix) {
  Make();
  // Two frames: turned 50 degrees about an oblique axis, and 120 degrees
  // about another.
  const double half1 = 25.0 * 3.141592653589793 / 180.0, half2 = 60.0 * 3.141592653589793 / 180.0;
  const double q1[4] = {std::cos(half1), std::sin(half1) / 3.0, 2.0 * std::sin(half1) / 3.0,
                        2.0 * std::sin(half1) / 3.0};
  const double q2[4] = {std::cos(half2), 0.0, -0.6 * std::sin(half2), 0.8 * std::sin(half2)};
  const float p1[3] = {120.0f, -40.0f, 3000.0f}, p2[3] = {-500.0f, 250.0f, 4500.0f};
  const double s1 = 1.25, s2 = 0.5;
  std::string payload;
  Put32(payload, 2);  // path type
  Put32(payload, 2);  // frame count
  const float* positions[2] = {p1, p2};
  const double* rotations[2] = {q1, q2};
  const double scales[2] = {s1, s2};
  for (int f = 0; f < 2; ++f) {
    Put32(payload, 2);
    for (int i = 0; i < 3; ++i) PutFloat(payload, positions[f][i]);
    for (int i = 0; i < 4; ++i) PutDouble(payload, rotations[f][i]);
    PutDouble(payload, scales[f]);
  }
  ASSERT_EQ(payload.size(), 8u + 2u * 56u);
  std::string file = "TDR 2.0 Binary\n# A camera path\nEND_HEADER\n";
  PutTagHeader(file, 20006, static_cast<int>(payload.size()));
  file += payload;
  PutTagHeader(file, 999999999, 0);
  const std::string path = dir.file("written.fph");
  ASSERT_TRUE(orvanta_test::WriteFileBytes(path, file));
  ASSERT_EQ(movie->Read(path.c_str()), 2);

  const std::map<int, Sv_Matrix4> expected = {{0, TypeTwoMatrix(p1, q1, s1)}, {1, TypeTwoMatrix(p2, q2, s2)}};
  ASSERT_NO_FATAL_FAILURE(ExpectPlayedAs(expected));
}

}  // namespace
