-- wrk request generator: callers entering, renewing and leaving 10 000 rooms, behind a
-- proxy (X-Forwarded-For) so that many callers can come from one loopback client.
-- BENCH_CLOSE=1 asks for one request per connection.
local rooms = 10000
local close = os.getenv("BENCH_CLOSE") == "1"
local cp932 = "%8E%47%92%6B" -- "雑談" percent-encoded, as copies of the program send it

local function owner(i)
  return "10.1." .. math.floor(i / 256) .. "." .. (i % 256)
end

function init(args)
  math.randomseed(os.time() + tonumber(tostring({}):sub(8), 16) % 100000)
end

function request()
  local i = math.random(0, rooms - 1)
  -- Half the rooms have Japanese names, so half the requests go through code page 932.
  local room = (i % 2 == 0) and ("r" .. i) or (cp932 .. i)
  local headers = {}
  for name, value in pairs(wrk.headers) do headers[name] = value end
  if close then headers["Connection"] = "close" end
  local path
  local r = math.random()
  if r < 0.5 then -- the room's owner enters or renews
    headers["X-Forwarded-For"] = owner(i)
    path = "/?" .. room
  elseif r < 0.8 then -- someone looks for the room
    headers["X-Forwarded-For"] = "10.2." .. math.random(0, 255) .. "." .. math.random(0, 255)
    path = "/?" .. room
  else -- the owner leaves
    headers["X-Forwarded-For"] = owner(i)
    path = "/?" .. room .. "+quit"
  end
  return wrk.format("GET", path, headers)
end
