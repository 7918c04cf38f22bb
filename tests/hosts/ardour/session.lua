-- Headless Ardour session work for the host checks, run by ardour7-lua
-- with the Dummy backend. What it does comes from the environment:
--   TALVEX_ACTION  create  a session holding one MIDI track with Talvex and
--                          a region with two notes (A4 for 1.5 s from 0.5 s,
--                          A3 for 1 s from 2.5 s), saved, then rendered
--                  reload  the saved session, rendered again
--                  cycles  TALVEX_CYCLES add/remove cycles of the plug-in on
--                          the session's track, the process's resident size
--                          printed as "rss-kib CYCLE KIB" as it goes
--   TALVEX_SESSION_DIR, TALVEX_SESSION_NAME, TALVEX_RENDER_NAME
-- Prints "result: ok" at the end; any failure prints "result: FAIL ...".

local function say(text) io.stderr:write(tostring(text) .. "\n") end
local function env(name)
  local value = os.getenv(name)
  assert(value and value ~= "", "missing " .. name)
  return value
end

local seconds = 4

local function talvex_track()
  for route in Session:get_routes():iter() do
    if route:name() == "Talvex" then return route end
  end
  error("no Talvex track in the session")
end

-- Renders the Talvex track from 0 to `seconds` through its processors (the
-- plug-in, then the fader) into new audio files of the session, one mono
-- WAV per channel, and prints "rendered NAME LEFT RIGHT" for the caller.
-- This is Ardour's bounce with processing: Ardour 7.3's Lua simple_export
-- corrupts its heap in a good third of runs with any plug-in (amsynth as
-- well), in its export graph and profile manager, while the bounce does not.
local function render(name)
  local track = talvex_track():to_track()
  local rate = Session:nominal_sample_rate()
  local region = track:bounce_range(0, seconds * rate, ARDOUR.InterThreadInfo(), track:main_outs(), false, name)
  assert(not region:isnil(), "the bounce made no region")
  local left = region:source(0):to_filesource():path()
  local right = region:source(1):to_filesource():path()
  say("rendered " .. name .. " " .. left .. " " .. right)
end

local function resident_kib()
  local file = io.open("/proc/self/status")
  for line in file:lines() do
    local kib = line:match("^VmRSS:%s+(%d+)")
    if kib then file:close() return tonumber(kib) end
  end
  file:close()
  return -1
end

local function create()
  assert(create_session(env("TALVEX_SESSION_DIR"), env("TALVEX_SESSION_NAME"), 44100), "cannot create the session")
  local info = ARDOUR.LuaAPI.new_plugin_info("Talvex", ARDOUR.PluginType.LXVST)
  assert(not info:isnil(), "Ardour does not list Talvex (scanner cache, LXVST_PATH)")
  local tracks = Session:new_midi_track(
    ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1), ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2),
    true, info, nil, nil, 1, "Talvex", ARDOUR.PresentationInfo.max_order,
    ARDOUR.TrackMode.Normal, true, false)
  assert(tracks:size() == 1, "no MIDI track")
  local track = tracks:front()
  assert(track:nth_plugin(0):name() == "Talvex", "the track holds no Talvex")
  -- An empty MIDI region: a bounce of the still empty playlist through no
  -- processor (nth_plugin past the end is a null processor, which Lua
  -- cannot write as nil here).
  local rate = Session:nominal_sample_rate()
  local region = track:bounce_range(0, seconds * rate, ARDOUR.InterThreadInfo(), track:nth_plugin(99), false, "")
  assert(not region:isnil(), "bounce made no region")
  track:playlist():add_region(region, Temporal.timepos_t(0), 1, false)
  local model = region:to_midiregion():model()
  local diff = model:new_note_diff_command("notes")
  -- Beats at the session's 120 bpm: one beat is 0.5 s.
  diff:add(ARDOUR.LuaAPI.new_noteptr(1, Temporal.Beats(1, 0), Temporal.Beats(3, 0), 69, 100))
  diff:add(ARDOUR.LuaAPI.new_noteptr(1, Temporal.Beats(5, 0), Temporal.Beats(2, 0), 57, 100))
  model:apply_command(Session, diff)
  -- The track reads the edited region on Ardour's butler thread: a bounce
  -- straight after the edit plays the region as it was (empty).
  sleep(1)
  Session:save_state("", false, false, false, false, false)
  render(env("TALVEX_RENDER_NAME"))
end

local function cycles()
  local count = tonumber(env("TALVEX_CYCLES"))
  local route = talvex_track()
  for cycle = 1, count do
    local plugin = ARDOUR.LuaAPI.new_plugin(Session, "Talvex", ARDOUR.PluginType.LXVST, "")
    assert(not plugin:isnil(), "cannot instantiate Talvex (cycle " .. cycle .. ")")
    assert(route:add_processor_by_index(plugin, -1, nil, true) == 0, "cannot add Talvex (cycle " .. cycle .. ")")
    assert(route:remove_processor(plugin, nil, true) == 0, "cannot remove Talvex (cycle " .. cycle .. ")")
    plugin = nil
    collectgarbage()
    if cycle == 1 or cycle % 10 == 0 then say("rss-kib " .. cycle .. " " .. resident_kib()) end
  end
  -- The session's own instance still plays after the others came and went.
  render(env("TALVEX_RENDER_NAME"))
end

AudioEngine:set_backend("None (Dummy)", "", "")
local ok, err = pcall(function()
  local action = env("TALVEX_ACTION")
  if action == "create" then
    create()
  else
    assert(load_session(env("TALVEX_SESSION_DIR"), env("TALVEX_SESSION_NAME")), "cannot load the session")
    if action == "reload" then render(env("TALVEX_RENDER_NAME"))
    elseif action == "cycles" then cycles()
    else error("unknown action " .. action) end
  end
  close_session()
end)
if ok then say("result: ok") else say("result: FAIL " .. tostring(err)) end
