library ieee;
use ieee.std_logic_1164.all;

entity nine is
end entity;

architecture sim of nine is
  type state_t is (s_idle, s_run, s_done);
  signal state : state_t := s_idle;
  signal bit1 : std_logic;
  signal vec : std_logic_vector(3 downto 0);
  signal wide : std_logic_vector(79 downto 0) := (others => '0');
  signal flag : boolean := false;
begin
  process
    constant values : std_logic_vector(0 to 8) := "UX01ZWLH-";
  begin
    for i in values'range loop
      bit1 <= values(i);
      vec <= values(i) & values((i + 1) mod 9) & values((i + 2) mod 9) & values((i + 3) mod 9);
      wait for 10 ns;
    end loop;
    state <= s_run;
    wide <= x"8000000000000000000F";
    flag <= true;
    wait for 10 ns;
    state <= s_done;
    wide(40) <= 'X';
    wait for 10 ns;
    wait;
  end process;
end architecture;
